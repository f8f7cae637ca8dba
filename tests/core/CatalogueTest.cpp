#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "core/catalogue/QELSoundEffect.h"
#include "core/catalogue/QELSoundEffectCategory.h"
#include "core/catalogue/QELSoundEffectResourceBundle.h"
#include "foundation/Paths.h"
#include "foundation/PropertyList.h"
#include "support/TestSupport.h"

using platform::Value;

namespace {

std::string escapeRegex(const std::string& s) {
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    return std::regex_replace(s, special, R"(\$&)");
}

std::string fatalPattern(const std::string& message) { return "Fatal error: " + escapeRegex(message); }

Value item(const std::string& file, const std::string& title) {
    return Value::Dictionary{{"fileName", file}, {"title", title}};
}

void writePlist(const std::string& path, const Value& root) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    ASSERT_TRUE(platform::PropertyList::writeFile(path, root, platform::PropertyList::Format::Xml));
}

// The bundle every test in this binary sees as the shipped one.
class BundleEnvironment : public ::testing::Environment {
public:
    static inline std::string bundlePath;

    void SetUp() override {
        bundlePath = dir_.file("SoundEffects");
        // Listed as Zeta before Alpha by name, yet Zeta sorts first by index.
        writePlist(bundlePath + "/Zeta.plist",
                   Value::Dictionary{{"category", "欢呼"}, {"index", 1}, {"list", Value::Array{item("clap.flac", "掌声"), item("cheer.flac", "欢呼")}}});
        writePlist(bundlePath + "/Alpha.plist",
                   Value::Dictionary{{"category", "搞笑"}, {"index", 2}, {"list", Value::Array{item("laugh.flac", "笑声")}}});
        writePlist(bundlePath + "/Empty.plist",
                   Value::Dictionary{{"category", "空"}, {"index", 3.0}, {"list", Value::Array{}}, {"extra", true}});
        // A property list inside an audio folder is not a category.
        writePlist(bundlePath + "/Zeta/nested.plist", Value::Dictionary{{"category", "x"}});
        for (auto f : {"Zeta/clap.flac", "Zeta/cheer.flac", "Alpha/laugh.flac"}) {
            testsupport::writeText(bundlePath + "/" + f, "audio");
        }
        ::setenv("QUELLIO_SOUND_EFFECTS", bundlePath.c_str(), 1);
    }

private:
    testsupport::TempDir dir_;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new BundleEnvironment);

QELSoundEffect::Ref builtIn(const std::string& cate, const std::string& file, const std::string& title,
                            const std::string& subdir) {
    return QELSoundEffect::init(cate, item(file, title), subdir);
}

}  // namespace

TEST(SoundEffectRecord, ResolvesBuiltInFilesInTheBundleAndUserFilesUnderTheCollectionFolder) {
    auto clap = builtIn("欢呼", "clap.flac", "掌声", "Zeta");
    ASSERT_TRUE(clap);
    EXPECT_EQ(clap->resourcePath(), BundleEnvironment::bundlePath + "/Zeta/clap.flac");
    EXPECT_FALSE(clap->isUserCustom());

    auto mine = QELSoundEffect::customSoundEffectWithName("我的", "/abc.caf");
    EXPECT_TRUE(mine->isUserCustom());
    EXPECT_EQ(mine->resourcePath(), platform::Paths::libraryDirectory() + "/UserCollections/Custom/abc.caf");

    EXPECT_FALSE(builtIn("usercustom", "clap.flac", "x", "Zeta")->isUserCustom());
}

TEST(SoundEffectRecord, CatalogueItemsNeedTextFileNameAndTitle) {
    EXPECT_FALSE(QELSoundEffect::init("c", Value::Dictionary{{"title", "t"}}, "d"));
    EXPECT_FALSE(QELSoundEffect::init("c", Value::Dictionary{{"fileName", "f"}}, "d"));
    EXPECT_FALSE(QELSoundEffect::init("c", Value::Dictionary{{"fileName", 1}, {"title", "t"}}, "d"));
    EXPECT_TRUE(QELSoundEffect::init("c", Value::Dictionary{{"fileName", "f"}, {"title", "t"}, {"x", 1}}, "d"));
}

TEST(SoundEffectRecord, EqualityIsCategoryNameAndResolvedFile) {
    auto clap = builtIn("欢呼", "clap.flac", "掌声", "Zeta");
    auto otherFile = builtIn("欢呼", "cheer.flac", "掌声", "Zeta");
    EXPECT_TRUE(*clap == *builtIn("欢呼", "clap.flac", "掌声", "Zeta"));
    EXPECT_TRUE(*clap != *otherFile);
    // One file name composed and decomposed (as another file system hands it back).
    EXPECT_TRUE(*builtIn("欢呼", "caf\xC3\xA9.flac", "掌声", "Zeta") ==
                *builtIn("欢呼", "cafe\xCC\x81.flac", "掌声", "Zeta"));

    platform::ManualClock clock;
    auto entry = QELCollectionSoundEffect::initWithSoundEffect(*clap, clock);
    clock.advanceSeconds(100);
    auto later = QELCollectionSoundEffect::initWithSoundEffect(*clap, clock);
    EXPECT_TRUE(*entry == *clap);
    EXPECT_TRUE(*entry == *later) << "time takes no part";

    // Titles in different Unicode normal forms are the same title.
    auto composed = QELSoundEffect::customSoundEffectWithName("caf\xC3\xA9", "/a.caf");
    auto decomposed = QELSoundEffect::customSoundEffectWithName("cafe\xCC\x81", "/a.caf");
    EXPECT_TRUE(*composed == *decomposed);
    // Records whose file is gone still compare by where they point.
    auto ghost = builtIn("欢呼", "ghost.flac", "鬼", "Zeta");
    EXPECT_TRUE(*ghost == *builtIn("欢呼", "ghost.flac", "鬼", "Zeta"));
    EXPECT_TRUE(*ghost != *builtIn("欢呼", "ghost.flac", "鬼", "Alpha"));
    EXPECT_FALSE(QELSoundEffect::customSoundEffectWithName("我的", "/none.caf")->isAvailable());
}

TEST(Catalogue, LoadsCategoriesSortedByIndexWithItemsInListOrder) {
    const auto& bundle = QELSoundEffectResourceBundle::bundle();
    auto paths = bundle.plistPaths();
    ASSERT_EQ(paths.size(), 3u) << "only top-level property lists are categories";
    auto categories = QELSoundEffectCategory::loadAll(paths);
    ASSERT_EQ(categories.size(), 3u);
    EXPECT_EQ(categories[0].name, "欢呼");
    ASSERT_EQ(categories[0].soundEffects.size(), 2u);
    EXPECT_EQ(categories[0].soundEffects[0]->name(), "掌声");
    EXPECT_EQ(categories[0].soundEffects[1]->name(), "欢呼");
    EXPECT_EQ(categories[0].soundEffects[1]->resourcePath(), BundleEnvironment::bundlePath + "/Zeta/cheer.flac");
    EXPECT_EQ(categories[1].name, "搞笑");
    EXPECT_EQ(categories[2].name, "空");
    EXPECT_EQ(categories[2].index, 3) << "an index may be a real number";
    EXPECT_TRUE(categories[2].soundEffects.empty());

    EXPECT_TRUE(QELSoundEffectCategory::loadAll({}).empty());
}

using CatalogueDeathTest = ::testing::Test;

TEST_F(CatalogueDeathTest, MalformedCategoryFilesStopWithTheirMessageInCheckOrder) {
    testsupport::TempDir dir;
    auto path = [&](const char* name) { return dir.file(name); };

    testsupport::writeText(path("Garbage.plist"), "<plist><dict><key>x");
    EXPECT_DEATH(QELSoundEffectCategory::initWithPath(path("Garbage.plist")),
                 fatalPattern("Plist file " + path("Garbage.plist") + " not found"));
    EXPECT_DEATH(QELSoundEffectCategory::initWithPath(path("Absent.plist")),
                 fatalPattern("Plist file " + path("Absent.plist") + " not found"));
    writePlist(path("Array.plist"), Value::Array{1});
    EXPECT_DEATH(QELSoundEffectCategory::initWithPath(path("Array.plist")),
                 fatalPattern("Plist file " + path("Array.plist") + " not found"));

    writePlist(path("NoCategory.plist"), Value::Dictionary{{"category", 5}, {"index", 1}, {"list", Value::Array{}}});
    EXPECT_DEATH(QELSoundEffectCategory::initWithPath(path("NoCategory.plist")),
                 fatalPattern("Key of `category` not found in " + path("NoCategory.plist")));

    // Neither "list" nor "index": the list is checked first.
    writePlist(path("NoList.plist"), Value::Dictionary{{"category", "c"}});
    EXPECT_DEATH(QELSoundEffectCategory::initWithPath(path("NoList.plist")),
                 fatalPattern("Key of `list` not found or type error " + path("NoList.plist")));

    // A bad item is reported before the missing index.
    writePlist(path("BadItem.plist"), Value::Dictionary{{"category", "c"}, {"list", Value::Array{"text"}}});
    EXPECT_DEATH(QELSoundEffectCategory::initWithPath(path("BadItem.plist")),
                 fatalPattern("Item in list is not an dictionay"));

    writePlist(path("NoTitle.plist"),
               Value::Dictionary{{"category", "c"}, {"index", 1}, {"list", Value::Array{Value::Dictionary{{"fileName", "a.flac"}}}}});
    EXPECT_DEATH(QELSoundEffectCategory::initWithPath(path("NoTitle.plist")), "Fatal error\n");

    writePlist(path("NoIndex.plist"), Value::Dictionary{{"category", "c"}, {"index", "1"}, {"list", Value::Array{}}});
    EXPECT_DEATH(QELSoundEffectCategory::initWithPath(path("NoIndex.plist")), fatalPattern("Key of `index` not found"));
}

TEST_F(CatalogueDeathTest, AMissingBundleStops) {
    EXPECT_DEATH(
        {
            ::setenv("QUELLIO_SOUND_EFFECTS", "", 1);
            ::setenv("QUELLIO_RESOURCES", "/nonexistent-quellio", 1);
            QELSoundEffectResourceBundle::init();
        },
        fatalPattern("Sound Effect bundle not found"));
    EXPECT_DEATH(
        {
            ::setenv("QUELLIO_SOUND_EFFECTS", "/nonexistent-quellio/SoundEffects", 1);
            QELSoundEffectResourceBundle::init();
        },
        "Fatal error\n");
}
