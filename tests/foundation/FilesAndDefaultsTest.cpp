#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "foundation/DebugLog.h"
#include "foundation/Files.h"
#include "foundation/UserDefaults.h"
#include "support/TestSupport.h"

using platform::Value;

TEST(Files, AtomicWriteReplacesWholeAndFailureKeepsTheOldFile) {
    testsupport::TempDir dir;
    const std::string path = dir.file("data.bin");
    ASSERT_TRUE(platform::writeFileAtomically(path, std::vector<uint8_t>{1, 2, 3}));
    ASSERT_TRUE(platform::writeFileAtomically(path, std::vector<uint8_t>{9}));
    EXPECT_EQ(*platform::readFile(path), std::vector<uint8_t>{9});

    // A directory we cannot write into: the write fails and says why; the
    // old content stays and no temporary is left behind.
    if (::geteuid() != 0) {
        ::chmod(dir.path().c_str(), 0555);
        std::string error;
        EXPECT_FALSE(platform::writeFileAtomically(path, std::vector<uint8_t>{7}, &error));
        EXPECT_NE(error.find(path), std::string::npos);
        ::chmod(dir.path().c_str(), 0755);
        EXPECT_EQ(*platform::readFile(path), std::vector<uint8_t>{9});
    }
    std::string error;
    EXPECT_FALSE(platform::writeFileAtomically(dir.file("missing/x.bin"), std::vector<uint8_t>{1}, &error));
    EXPECT_FALSE(error.empty());
    size_t entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 1u);

    EXPECT_FALSE(platform::readFile(dir.file("absent"), &error));
    EXPECT_NE(error.find("absent"), std::string::npos);
}

TEST(UserDefaults, ValuesPersistAcrossInstancesAndADamagedStoreStartsEmpty) {
    testsupport::TempDir dir;
    const std::string path = dir.file("Preferences/test.plist");
    {
        platform::UserDefaults d(path);
        d.setBool(true, "flag");
        d.setObject(Value("文本"), "text");
        d.setObject(Value(Value::Array{1, 2.5, "x"}), "list");
        d.setObject(Value(42), "gone");
        d.removeObjectForKey("gone");
    }
    platform::UserDefaults again(path);
    EXPECT_TRUE(again.boolForKey("flag"));
    EXPECT_EQ(again.stringForKey("text"), "文本");
    EXPECT_EQ(again.objectForKey("list"), Value(Value::Array{1, 2.5, "x"}));
    EXPECT_TRUE(again.objectForKey("gone").isNull());
    EXPECT_FALSE(again.boolForKey("never set"));

    std::vector<std::string> errors;
    auto previous = platform::setDebugErrorSink([&](const platform::DebugErrorEntry& e) { errors.push_back(e.message); });
    testsupport::writeText(path, "not a property list");
    platform::UserDefaults damaged(path);
    platform::setDebugErrorSink(previous);
    EXPECT_TRUE(damaged.objectForKey("flag").isNull());
    EXPECT_EQ(errors.size(), 1u);
}
