#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

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

TEST(Files, WritesFollowLinksAndNeverReplaceWhatIsNotARegularFile) {
    namespace fs = std::filesystem;
    testsupport::TempDir dir;
    fs::create_directories(dir.file("real"));
    testsupport::writeText(dir.file("real/data"), "old");
    // A relative link, reached through a second link: the chain is followed
    // and the file replaced in its own folder; the links stay links.
    fs::create_symlink("real/data", dir.file("link"));
    fs::create_symlink(dir.file("link"), dir.file("link2"));
    ASSERT_TRUE(platform::writeFileAtomically(dir.file("link2"), std::vector<uint8_t>{'n', 'e', 'w'}));
    EXPECT_TRUE(fs::is_symlink(dir.file("link")));
    EXPECT_TRUE(fs::is_symlink(dir.file("link2")));
    EXPECT_EQ(*platform::readFile(dir.file("real/data")), (std::vector<uint8_t>{'n', 'e', 'w'}));
    // A dangling link: the file is made where it points.
    fs::create_symlink("real/made", dir.file("dangling"));
    ASSERT_TRUE(platform::writeFileAtomically(dir.file("dangling"), std::vector<uint8_t>{1}));
    EXPECT_TRUE(fs::is_symlink(dir.file("dangling")));
    EXPECT_TRUE(fs::is_regular_file(dir.file("real/made")));

    // A FIFO, a folder and a link to the FIFO are refused with a message
    // naming them; each stays what it was.
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    fs::create_directories(dir.file("folder"));
    fs::create_symlink("fifo", dir.file("to-fifo"));
    std::vector<std::string> refused{"fifo", "folder", "to-fifo"};
    // A device node like /dev/full (only root may make one).
    if (::mknod(dir.file("full").c_str(), S_IFCHR | 0600, ::makedev(1, 7)) == 0)
        refused.push_back("full");
    for (const std::string& name : refused) {
        SCOPED_TRACE(name);
        std::string error;
        EXPECT_FALSE(platform::writeFileAtomically(dir.file(name), std::vector<uint8_t>{1}, &error));
        EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    }
    EXPECT_TRUE(fs::is_fifo(dir.file("fifo")));
    EXPECT_TRUE(fs::is_directory(dir.file("folder")));
    EXPECT_TRUE(fs::is_symlink(dir.file("to-fifo")));
    if (refused.size() == 4) {
        EXPECT_TRUE(fs::is_character_file(dir.file("full")));
    }
}

TEST(Files, DamagedCopiesRotateAndLeftoverTemporariesGo) {
    namespace fs = std::filesystem;
    testsupport::TempDir dir;
    const std::string path = dir.file("data");
    for (int i = 0; i < 7; ++i) {
        testsupport::writeText(path, "v" + std::to_string(i));
        ASSERT_TRUE(platform::keepDamagedCopy(path));
    }
    // The newest under .damaged, then older ones; five in all.
    for (int g = 0; g < platform::kDamagedCopiesKept; ++g) {
        auto bytes = platform::readFile(platform::damagedCopyPath(path, g));
        ASSERT_TRUE(bytes) << g;
        EXPECT_EQ(std::string(bytes->begin(), bytes->end()), "v" + std::to_string(6 - g));
    }
    EXPECT_FALSE(fs::exists(platform::damagedCopyPath(path, platform::kDamagedCopiesKept)));

    for (const char* name : {".data.Ab12Z9", ".data.zzzzzz", ".other.Ab12Z9", ".data.damaged",
                             ".data.Ab12Z", "data.Ab12Z9"})
        testsupport::writeText(dir.file(name), "x");
    EXPECT_EQ(platform::removeLeftoverTemporaries(
                  dir.path(), [](const std::string& name) { return name == "data"; }),
              2u);
    for (const char* name : {".other.Ab12Z9", ".data.damaged", ".data.Ab12Z", "data.Ab12Z9", "data"})
        EXPECT_TRUE(fs::exists(dir.file(name))) << name;
    EXPECT_FALSE(fs::exists(dir.file(".data.Ab12Z9")));
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
    // The damaged store is kept aside before it is first overwritten.
    damaged.setBool(true, "again");
    auto kept = platform::readFile(platform::damagedCopyPath(path));
    ASSERT_TRUE(kept);
    EXPECT_EQ(std::string(kept->begin(), kept->end()), "not a property list");
    EXPECT_TRUE(platform::UserDefaults(path).boolForKey("again"));
}
