#include <gtest/gtest.h>

#include <filesystem>

#include "analytics/device/TLANSharedUDID.h"
#include "foundation/PropertyList.h"
#include "support/TestSupport.h"

using platform::Value;

namespace {

// One application on the device: its own defaults, the shared slot folder.
struct App {
    App(const testsupport::TempDir& dir, const std::string& name, platform::Clock& clock)
        : defaults(dir.file(name + "/defaults.plist")), udid(defaults, clock, dir.file("slots")) {}
    platform::UserDefaults defaults;
    TLANSharedUDID udid;
};

bool isHex40(const std::string& s) {
    return s.size() == 40 && s.find_first_not_of("0123456789abcdef") == std::string::npos;
}

}  // namespace

class SharedUDID : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    platform::ManualClock clock;
    std::string message;
};

TEST_F(SharedUDID, AFreshValueIsKeptLocallyAndInTheFirstFreeSlot) {
    App a(dir, "a", clock);
    const std::string v = a.udid.value(&message);
    EXPECT_TRUE(isHex40(v)) << v;
    EXPECT_EQ(message, "SharedUDID succesfully retrieved");
    EXPECT_EQ(a.udid.value(&message), v);
    EXPECT_EQ(message, "SharedUDID in cache from first call");

    const Value local = a.defaults.objectForKey("SharedUDID");
    EXPECT_EQ(*local.find("SharedUDID"), Value(v));
    EXPECT_EQ(*local.find("SharedUDID_slot"), Value("org.SharedUDID.slot.0"));
    auto slot = platform::PropertyList::readFile(dir.file("slots/org.SharedUDID.slot.0"));
    ASSERT_TRUE(slot);
    EXPECT_EQ(*slot->find("SharedUDID"), Value(v));
}

TEST_F(SharedUDID, OtherApplicationsAndReinstallsAdoptTheSharedValue) {
    std::string v;
    {
        App a(dir, "a", clock);
        v = a.udid.value();
    }
    // A damaged slot is skipped and reused.
    testsupport::writeText(dir.file("slots/org.SharedUDID.slot.1"), "not a plist");
    App b(dir, "b", clock);
    EXPECT_EQ(b.udid.value(), v);
    EXPECT_EQ(*b.defaults.objectForKey("SharedUDID").find("SharedUDID_slot"),
              Value("org.SharedUDID.slot.1"));

    std::filesystem::remove_all(dir.file("a"));
    App reinstalled(dir, "a", clock);
    EXPECT_EQ(reinstalled.udid.value(), v);
    // A reinstall is a new application to the others: it takes the next free slot.
    EXPECT_EQ(*reinstalled.defaults.objectForKey("SharedUDID").find("SharedUDID_slot"),
              Value("org.SharedUDID.slot.2"));
}

TEST_F(SharedUDID, ADifferingCopyIsReportedAndTheLocalValueWins) {
    App a(dir, "a", clock);
    const std::string v = a.udid.value();
    platform::PropertyList::writeFile(
        dir.file("slots/org.SharedUDID.slot.5"),
        Value(Value::Dictionary{{"SharedUDID", Value(std::string(40, 'f'))},
                                {"SharedUDID_appUID", Value("other")}}),
        platform::PropertyList::Format::Binary);
    App again(dir, "a", clock);  // same defaults file, a new process
    EXPECT_EQ(again.udid.value(&message), v);
    EXPECT_EQ(
        message,
        "Found a discrepancy between stored SharedUDID (reliable) and redundant copies; one of "
        "the apps on the device is most likely corrupting the SharedUDID protocol");
}

TEST_F(SharedUDID, AnOptedOutApplicationGetsZeros) {
    App a(dir, "a", clock);
    const std::string v = a.udid.value();
    a.udid.setOptOut(true);
    EXPECT_EQ(a.udid.value(&message), std::string(40, '0'));
    const std::string appUID =
        *a.defaults.objectForKey("SharedUDID").find("SharedUDID_appUID")->asString();
    EXPECT_EQ(message, "Application with unique id " + appUID +
                           " is opted-out from SharedUDID as of 2026-05-09 06:13:20 +0000");
    a.udid.setOptOut(false);
    EXPECT_EQ(a.udid.value(), v);
}
