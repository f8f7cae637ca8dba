#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/collection/CollectionTestSupport.h"
#include "core/collection/QELMySoundEffectStorage.h"
#include "foundation/Application.h"
#include "foundation/DebugLog.h"
#include "foundation/Files.h"
#include "foundation/KeyedArchive.h"
#include "foundation/NotificationCenter.h"
#include "foundation/RunLoop.h"
#include "support/TestSupport.h"

using platform::Value;
using Storage = QELMySoundEffectStorage;
namespace fs = std::filesystem;
using namespace collectiontest;

namespace {

// The will- and did-change notifications observers saw; what they carry
// positions the screens' changes (CollectionViewModelTest).
struct Seen {
    std::string name;
    const void* object;
    std::string type;
    platform::ObjectRef oldSoundEffect;
};

class Recorder {
public:
    Recorder() {
        for (const char* name : {Storage::MySoundEffectAmountWillChangeNotification,
                                 Storage::MySoundEffectAmountDidChangeNotification}) {
            tokens_.push_back(platform::NotificationCenter::defaultCenter().addObserver(
                name, nullptr, [this](const platform::Notification& n) {
                    const Value* type = n.userInfo.find("type");
                    const Value* old = n.userInfo.find("oldSoundEffect");
                    seen.push_back(Seen{n.name, n.object, type ? *type->asString() : "",
                                        old ? old->asObject<platform::Object>() : nullptr});
                }));
        }
    }
    std::vector<Seen> seen;

private:
    std::vector<platform::NotificationToken> tokens_;
};

}  // namespace

TEST(CollectionStorage, AddAppendsAStampedEntryOnceAndTheFileReadsBackTheSame) {
    CollectionDir dir;
    platform::ManualClock clock;
    Storage storage(dir.path, clock);
    EXPECT_TRUE(storage.soundEffects().empty());
    EXPECT_FALSE(fs::exists(dir.path)) << "loading writes nothing";

    auto clap = builtIn();
    EXPECT_FALSE(storage.addSoundEffect(clap));
    clock.advanceSeconds(5);
    auto mine = user("我的录音");
    EXPECT_FALSE(storage.addSoundEffect(mine)) << "add answers false whatever it did";
    ASSERT_EQ(storage.soundEffects().size(), 2u);
    EXPECT_TRUE(*storage.soundEffects()[1] == *mine) << "appended at the end";
    EXPECT_EQ(storage.soundEffects()[1]->time(), clock.date());

    EXPECT_TRUE(storage.flush());
    Storage reloaded(dir.path, clock);
    ASSERT_EQ(reloaded.soundEffects().size(), 2u);
    EXPECT_TRUE(*reloaded.soundEffects()[0] == *clap);
    EXPECT_TRUE(*reloaded.soundEffects()[1] == *mine);
    EXPECT_EQ(reloaded.soundEffects()[1]->time(), storage.soundEffects()[1]->time());

    // An equal record (another object, the entry itself, the entry's time
    // aside) is the same effect: nothing changes, is announced or written.
    fs::remove(dir.path);
    Recorder recorder;
    clock.advanceSeconds(60);
    storage.addSoundEffect(builtIn());
    storage.addSoundEffect(storage.soundEffects()[0]);
    EXPECT_EQ(storage.soundEffects().size(), 2u);
    EXPECT_TRUE(recorder.seen.empty());
    EXPECT_FALSE(storage.hasUnsavedChanges());
    storage.flush();
    EXPECT_FALSE(fs::exists(dir.path));
}

TEST(CollectionStorage, RemoveAndReplaceGoByIdentity) {
    CollectionDir dir;
    platform::ManualClock clock;
    Storage storage(dir.path, clock);
    for (auto name : {"A", "B", "C"}) storage.addSoundEffect(user(name));
    const auto a = storage.soundEffects()[0];
    const auto b = storage.soundEffects()[1];
    const auto c = storage.soundEffects()[2];

    Recorder recorder;
    clock.advanceSeconds(30);
    storage.replaceSoundEffect(b, user("X"));
    EXPECT_EQ(storage.soundEffects()[1]->name(), "X");
    EXPECT_EQ(storage.soundEffects()[1]->time(), clock.date()) << "a new entry, stamped now";
    ASSERT_EQ(recorder.seen.size(), 2u);
    EXPECT_EQ(recorder.seen[1].oldSoundEffect, b) << "the replaced entry; the new one is not sent";

    // A copy equal in every field is not the entry: nothing changes or is
    // announced, but the file is written again.
    auto twinOfA = QELCollectionSoundEffect::initWithSoundEffect(*a, clock);
    for (auto op :
         std::vector<std::function<void()>>{[&] { storage.removeSoundEffect(twinOfA); },
                                            [&] { storage.replaceSoundEffect(twinOfA, user("Y")); },
                                            [&] { storage.removeSoundEffect(b); }}) {
        fs::remove(dir.path);
        op();
        storage.flush();
        EXPECT_TRUE(fs::exists(dir.path));
    }
    EXPECT_EQ(namesInFile(dir.path), (std::vector<std::string>{"A", "X", "C"}));
    EXPECT_EQ(recorder.seen.size(), 2u);

    // Passed straight from the list, as screens do: the removal releases the
    // list's reference while the did-change still needs the entry.
    storage.removeSoundEffect(storage.soundEffects()[0]);
    ASSERT_EQ(recorder.seen.size(), 4u);
    EXPECT_EQ(recorder.seen[3].oldSoundEffect, a);

    // Replace makes no duplicate test.
    storage.replaceSoundEffect(storage.soundEffects()[0], c);
    storage.flush();
    EXPECT_EQ(namesInFile(dir.path), (std::vector<std::string>{"C", "C"}));
}

TEST(CollectionStorage, LoadKeepsEveryGoodEntryInOrderAndSkipsTheRest) {
    CollectionDir dir;
    platform::ManualClock clock;
    auto first = QELCollectionSoundEffect::initWithSoundEffect(*user("first"), clock);
    auto second = QELCollectionSoundEffect::initWithSoundEffect(*user("second"), clock);
    auto plain = user("plain record");  // a record, not a collection entry
    // Stored locations that would resolve outside the bundle or the
    // recordings folder.
    auto climbing = [&](const std::string& subDir, const std::string& fileName) {
        return QELCollectionSoundEffect::initWithSoundEffect(
            *QELSoundEffect::init("欢呼", Value::Dictionary{{"fileName", fileName}, {"title", "t"}},
                                  subDir),
            clock);
    };
    Value root = Value::Array{first,
                              climbing("../../../../etc", "passwd"),
                              climbing("Zeta", "../../../etc/passwd"),
                              climbing("..", "passwd"),
                              QELCollectionSoundEffect::initWithSoundEffect(
                                  *QELSoundEffect::customSoundEffectWithName("u", "/../../x.caf"),
                                  clock),
                              "text",
                              std::make_shared<FakeEntry>(FakeEntry::MissingTime),
                              plain,
                              std::make_shared<FakeEntry>(FakeEntry::TextName),
                              std::make_shared<FakeEntry>(FakeEntry::TextTime),
                              second};
    writeArchive(dir.path, root);

    Storage storage(dir.path, clock);
    ASSERT_EQ(storage.soundEffects().size(), 2u);
    EXPECT_TRUE(*storage.soundEffects()[0] == *first);
    EXPECT_EQ(storage.soundEffects()[0]->time(), first->time());
    EXPECT_TRUE(*storage.soundEffects()[1] == *second);
}

TEST(CollectionStorage, AnUndecodableFileLoadsEmptyAndIsKeptAsideBeforeTheFirstSave) {
    CollectionDir dir;
    platform::ManualClock clock;
    std::vector<std::string> errors;
    auto previous = platform::setDebugErrorSink(
        [&](const platform::DebugErrorEntry& e) { errors.push_back(e.message); });

    const std::string damaged = Storage::damagedCopyPath(dir.path);
    EXPECT_EQ(damaged, dir.path + ".damaged");

    // Not an archive (others: KeyedUnarchiver.DamagedArchives...), not a list.
    const std::vector<std::pair<std::string, std::vector<uint8_t>>> bad = {
        {"not a plist", {'h', 'e', 'l', 'l', 'o'}},
        {"root is a dictionary",
         *platform::KeyedArchiver::archivedDataWithRootObject(Value::Dictionary{{"a", 1}})},
    };
    for (const auto& [what, bytes] : bad) {
        SCOPED_TRACE(what);
        ASSERT_TRUE(platform::writeFileAtomically(dir.path, bytes));
        errors.clear();
        Storage storage(dir.path, clock);
        EXPECT_TRUE(storage.soundEffects().empty());
        EXPECT_FALSE(errors.empty()) << "a damaged file is worth a debug message";
        EXPECT_EQ(*platform::readFile(dir.path), bytes) << "loading writes nothing";

        storage.addSoundEffect(user("new"));
        storage.flush();
        EXPECT_EQ(*platform::readFile(damaged), bytes) << "the newest damaged file is kept";
        EXPECT_EQ(namesInFile(dir.path), std::vector<std::string>{"new"});
        storage.addSoundEffect(user("newer"));
        storage.flush();
        EXPECT_EQ(*platform::readFile(damaged), bytes) << "copied once, not at every save";
    }
    // A clean file never replaces the kept copy.
    const auto kept = *platform::readFile(damaged);
    Storage clean(dir.path, clock);
    clean.addSoundEffect(user("more"));
    clean.flush();
    EXPECT_EQ(*platform::readFile(damaged), kept);

    // A file with entries that could not be taken over is kept as well.
    writeArchive(dir.path, Value::Array{std::make_shared<FakeEntry>(FakeEntry::MissingTime)});
    const auto partly = *platform::readFile(dir.path);
    Storage skipping(dir.path, clock);
    skipping.addSoundEffect(user("x"));
    skipping.flush();
    EXPECT_EQ(*platform::readFile(damaged), partly);
    platform::setDebugErrorSink(previous);
}

TEST(CollectionStorage, AFailedSaveIsLoggedAndTheListStaysChanged) {
    testsupport::TempDir tmp;
    platform::ManualClock clock;
    std::vector<std::string> errors;
    auto previous = platform::setDebugErrorSink(
        [&](const platform::DebugErrorEntry& e) { errors.push_back(e.message); });

    // A parent that is a file cannot be written by anyone, root included.
    testsupport::writeText(tmp.file("UserCollections"), "a file");
    const std::string path = tmp.file("UserCollections/Customcollection.info");
    Storage storage(path, clock);
    storage.addSoundEffect(user("A"));
    EXPECT_FALSE(storage.flush());
    storage.replaceSoundEffect(storage.soundEffects()[0], user("B"));
    EXPECT_FALSE(storage.flush());
    ASSERT_EQ(storage.soundEffects().size(), 1u);
    EXPECT_EQ(storage.soundEffects()[0]->name(), "B");
    EXPECT_EQ(errors.size(), 2u);
    EXPECT_NE(errors.front().find(path), std::string::npos) << errors.front();
    platform::setDebugErrorSink(previous);
}

TEST(CollectionStorage, ChangesAreWrittenOffTheCallersThreadOnceThenAtTheLatestOnTermination) {
    CollectionDir dir;
    platform::ManualClock clock;
    Storage storage(dir.path, clock, Storage::Options{false, true});
    for (int i = 0; i < 100; ++i) storage.addSoundEffect(user(std::to_string(i)));
    EXPECT_TRUE(storage.hasUnsavedChanges());
    EXPECT_FALSE(fs::exists(dir.path)) << "the caller does not wait for the disk";
    ASSERT_TRUE(platform::RunLoop::main().runUntil([&] { return !storage.hasUnsavedChanges(); }));
    EXPECT_EQ(namesInFile(dir.path).size(), 100u);

    // Quitting writes what the loop has not got to yet.
    storage.addSoundEffect(user("last"));
    platform::NotificationCenter::defaultCenter().post(
        platform::kApplicationWillTerminateNotification);
    EXPECT_EQ(namesInFile(dir.path).size(), 101u);
    EXPECT_FALSE(storage.hasUnsavedChanges());
}

// Two storages on one file stand for two processes (the program and the
// CLI); the real processes meet in the program and CLI tests.
TEST(CollectionStorage, TwoWritersOfOneLinkedFileKeepEachOthersChangesAndAnnounceThem) {
    CollectionDir dir;
    platform::ManualClock clock;
    // The collection file is a link to a file elsewhere; saves keep the link.
    fs::create_directories(dir.tmp.file("elsewhere"));
    fs::create_symlink(dir.tmp.file("elsewhere/real.info"), dir.path);
    Storage mine(dir.path, clock, Storage::Options{true, false});
    Storage theirs(dir.path, clock);
    Recorder seen;
    auto names = [](const Storage& s) {
        std::vector<std::string> n;
        for (const auto& e : s.soundEffects()) n.push_back(e->name());
        return n;
    };
    auto types = [&] {
        std::vector<std::string> t;
        for (const Seen& s : seen.seen)
            if (s.object == &mine && s.name == Storage::MySoundEffectAmountDidChangeNotification)
                t.push_back(s.type + " " + std::dynamic_pointer_cast<const QELSoundEffect>(
                                                 s.oldSoundEffect)->name());
        seen.seen.clear();
        return t;
    };
    auto waitFor = [&](std::vector<std::string> expected) {
        EXPECT_TRUE(platform::RunLoop::main().runUntil([&] { return names(mine) == expected; }))
            << testing::PrintToString(names(mine));
    };

    mine.addSoundEffect(user("A"));
    ASSERT_TRUE(mine.flush());
    types();
    theirs.addSoundEffect(user("B"));  // made without having seen A
    ASSERT_TRUE(theirs.flush());
    EXPECT_EQ(namesInFile(dir.path), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(names(theirs), (std::vector<std::string>{"A", "B"}));
    EXPECT_TRUE(fs::is_symlink(dir.path));
    waitFor({"A", "B"});
    EXPECT_EQ(types(), std::vector<std::string>{"Add B"});

    theirs.removeSoundEffect(theirs.soundEffects()[0]);
    theirs.flush();
    waitFor({"B"});
    EXPECT_EQ(types(), std::vector<std::string>{"Delete A"});
    theirs.replaceSoundEffect(theirs.soundEffects()[0], user("C"));
    theirs.flush();
    waitFor({"C"});
    EXPECT_EQ(types(), std::vector<std::string>{"Replace B"});

    // Changes on both sides before either is written: neither is lost.
    mine.addSoundEffect(user("D"));
    theirs.addSoundEffect(user("E"));
    theirs.flush();
    mine.flush();
    EXPECT_EQ(names(mine), (std::vector<std::string>{"C", "E", "D"}));
    EXPECT_EQ(namesInFile(dir.path), (std::vector<std::string>{"C", "E", "D"}));
}

// The program starts before anything made its collection folder.
TEST(CollectionStorage, AWatchingStorageFollowsAFileWhoseFolderWasNotThereYet) {
    testsupport::TempDir tmp;
    platform::ManualClock clock;
    const std::string path = tmp.file("UserCollections/Customcollection.info");
    Storage mine(path, clock, Storage::Options{true, false});
    Storage theirs(path, clock);
    theirs.addSoundEffect(user("A"));
    ASSERT_TRUE(theirs.flush());
    EXPECT_TRUE(
        platform::RunLoop::main().runUntil([&] { return mine.soundEffects().size() == 1; }));
}
