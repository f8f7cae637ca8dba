#include <gtest/gtest.h>

#include <filesystem>

#include "core/catalogue/QELSoundEffectResourceBundle.h"
#include "core/playback/QELSoundEffectListViewModel.h"
#include "foundation/Bundle.h"
#include "foundation/DebugLog.h"
#include "foundation/PropertyList.h"
#include "support/TestSupport.h"

using platform::Value;

namespace {

// A bundle of its own: the shared bundle of this test binary belongs to the
// catalogue tests.
class BoardModelTest : public ::testing::Test {
protected:
    void category(const std::string& file, const std::string& name, int index,
                  std::vector<std::string> titles) {
        Value::Array list;
        for (const auto& t : titles)
            list.push_back(Value::Dictionary{{"fileName", t + ".flac"}, {"title", t}});
        ASSERT_TRUE(platform::PropertyList::writeFile(
            dir.file(file + ".plist"),
            Value::Dictionary{{"category", name}, {"index", index}, {"list", list}},
            platform::PropertyList::Format::Xml));
    }
    std::vector<std::string> plists() const {
        return platform::Bundle::open(dir.path())->pathsForResourcesOfType("plist");
    }

    testsupport::TempDir dir;
};

}  // namespace

// Sections in index order: Catalogue.LoadsCategoriesSortedByIndexWithItemsInListOrder.
TEST_F(BoardModelTest, AnEmptyBundleHasNoSectionsAndIndexPathsOutsideTheCountsStop) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QELSoundEffectListDataProvider empty(plists());
    EXPECT_EQ(empty.numberOfSections(), 0);
    EXPECT_EQ(empty.titleForSection(0), std::nullopt);

    category("A", "一", 1, {"a1"});
    QELSoundEffectListDataProvider provider(plists());
    EXPECT_DEATH(provider.objectAtIndexPath({0, 1}), "Fatal error");
    EXPECT_DEATH(provider.numberOfItemsInSection(1), "Fatal error");
    EXPECT_DEATH(provider.titleForSection(-1), "Fatal error");
}

TEST(BoardViewModel, CreatesItsProviderFromTheSharedBundleOnFirstUseAndKeepsIt) {
    QELSoundEffectListViewModel model;
    auto provider = model.dataProvider();
    ASSERT_TRUE(provider);
    EXPECT_EQ(model.dataProvider(), provider);
    // The bundle this binary shares (made in CatalogueTest).
    EXPECT_EQ(provider->numberOfSections(), 3);
    EXPECT_EQ(provider->titleForSection(0), "欢呼");
}

TEST_F(BoardModelTest, AnEffectWhoseFileIsMissingOrNotAudioIsDisabledAndTheRestPlays) {
    // Items of a category file named Zeta resolve in the shared bundle's
    // Zeta folder, where clap.flac holds no audio and ghost.flac is absent.
    const std::string zeta = QELSoundEffectResourceBundle::bundle().bundlePath() + "/Zeta";
    const std::string real = zeta + "/real.flac";
    ASSERT_EQ(testsupport::run("sox -n -r 44100 -c 1 '" + real + "' synth 0.1 sine 440"), 0);
    category("Zeta", "欢呼", 1, {"real", "clap", "ghost"});
    std::vector<std::string> errors;
    auto previous = platform::setDebugErrorSink(
        [&](const platform::DebugErrorEntry& e) { errors.push_back(e.message); });
    QELSoundEffectListDataProvider provider(plists());
    platform::setDebugErrorSink(previous);
    std::filesystem::remove(real);

    EXPECT_TRUE(provider.isAvailableAtIndexPath({0, 0}));
    EXPECT_FALSE(provider.isAvailableAtIndexPath({0, 1}));
    EXPECT_FALSE(provider.isAvailableAtIndexPath({0, 2}));
    EXPECT_EQ(provider.resourcePaths(), std::vector<std::string>{real}) << "only these are decoded";
    ASSERT_EQ(errors.size(), 2u) << "one line each, naming the file";
    EXPECT_NE(errors[0].find(zeta + "/clap.flac"), std::string::npos) << errors[0];
    EXPECT_NE(errors[1].find(zeta + "/ghost.flac"), std::string::npos) << errors[1];
}
