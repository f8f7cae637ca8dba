#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "audio/AudioEngine.h"
#include "audio/AudioTestFiles.h"
#include "core/remote/QELHotkeys.h"
#include "core/remote/QELRemoteCommands.h"
#include "foundation/RunLoop.h"
#include "support/TestSupport.h"

using namespace std::chrono_literals;
using platform::IndexPath;
using Code = QELRemoteError::Code;

namespace {

// The board is the core tests' shared bundle (欢呼: 掌声 欢呼; 搞笑: 笑声), two
// of its files made playable for this suite; the favourites are a storage
// of their own. Sounds end when the test moves the manual clock.
class RemoteCommandsTest : public ::testing::Test {
protected:
    static std::string bundleFile(const char* name) {
        return std::string(std::getenv("QUELLIO_SOUND_EFFECTS")) + "/" + name;
    }
    static std::string folder() { return "/remote-" + std::to_string(::getpid()); }

    static void SetUpTestSuite() {
        audiotest::makeTone(bundleFile("Zeta/clap.flac"), 0.5);
        audiotest::makeTone(bundleFile("Alpha/laugh.flac"), 0.3);
        std::filesystem::create_directories(kUserCollectionFileBasePath() + folder());
        audiotest::makeTone(kUserCollectionFileBasePath() + folder() + "/mine.wav", 0.4);
    }
    static void TearDownTestSuite() {
        // Other suites take these files for placeholders.
        for (auto f : {"Zeta/clap.flac", "Alpha/laugh.flac"})
            testsupport::writeText(bundleFile(f), "audio");
        std::filesystem::remove_all(kUserCollectionFileBasePath() + folder());
    }

    void SetUp() override {
        platform::RunLoop::main().setClock(clock);
        platform::AudioEngine::shared().startNull();
        storage.addSoundEffect(
            QELSoundEffect::customSoundEffectWithName("我的", folder() + "/mine.wav"));
        storage.addSoundEffect(board->objectAtIndexPath({1, 0}));
        commands.setPlayingChanged([this](const std::string& now) { changes.push_back(now); });
    }
    void TearDown() override {
        platform::AudioEngine::shared().stop();
        platform::RunLoop::main().runUntilIdle();
        platform::RunLoop::main().setClock(platform::Clock::system());
    }
    void advance(std::chrono::milliseconds d) {
        clock.advance(d);
        platform::RunLoop::main().runUntilIdle();
    }

    platform::ManualClock clock;
    testsupport::TempDir dir;
    QELMySoundEffectStorage storage{dir.file("collection.info"), clock};
    std::shared_ptr<QELSoundEffectListViewModel> board =
        std::make_shared<QELSoundEffectListViewModel>();
    std::shared_ptr<QELMySoundEffectsViewModel> favorites =
        std::make_shared<QELMySoundEffectsViewModel>(storage);
    QELRemoteCommands commands{board, favorites};
    std::vector<std::string> changes;
};

}  // namespace

TEST_F(RemoteCommandsTest, PlayIsATapOnTheItemOneSoundPlaysAtATimeAndPlayingFollowsIt) {
    using Item = std::pair<std::string, std::string>;
    EXPECT_EQ(commands.list(),
              (std::vector<Item>{{"欢呼", "掌声"}, {"欢呼", "欢呼"}, {"搞笑", "笑声"}}));
    EXPECT_EQ(commands.listFavorites(), (std::vector<std::string>{"我的", "笑声"}));
    std::vector<IndexPath> taps;
    commands.setBoardTap([&](const IndexPath& ip, platform::AudioError* error) {
        taps.push_back(ip);
        return board->playOrStopAtIndexPath(ip, error);
    });
    QELRemoteError error;
    EXPECT_TRUE(commands.play("欢呼", "掌声", &error));
    EXPECT_FALSE(error);
    // Another item switches, the same item again stops.
    EXPECT_TRUE(commands.play("搞笑", "笑声"));
    EXPECT_FALSE(commands.play("搞笑", "笑声"));
    EXPECT_EQ(taps, (std::vector<IndexPath>{{0, 0}, {1, 0}, {1, 0}}));

    // A favourite takes the sound from the board; one from the catalogue
    // keeps its category.
    EXPECT_TRUE(commands.play("欢呼", "掌声"));
    EXPECT_TRUE(commands.playFavorite("我的"));
    EXPECT_EQ(commands.playing(), "UserCustom/我的");
    EXPECT_TRUE(commands.playFavorite("笑声"));
    EXPECT_EQ(commands.playing(), "搞笑/笑声");
    commands.stop();
    commands.stop();  // nothing plays: nothing changes
    EXPECT_EQ(commands.playing(), "");

    EXPECT_TRUE(commands.play("搞笑", "笑声"));
    advance(400ms);  // the sound ran out
    EXPECT_EQ(changes, (std::vector<std::string>{"欢呼/掌声", "", "搞笑/笑声", "", "欢呼/掌声", "",
                                                 "UserCustom/我的", "", "搞笑/笑声", "",
                                                 "搞笑/笑声", ""}));
}

TEST_F(RemoteCommandsTest, BadArgumentsAreRefusedWithAReasonAndPlayNothing) {
    struct Case {
        std::string category, title;
        Code code;
    };
    const std::string huge(10000, 'x');
    for (const auto& c : {Case{"", "掌声", Code::InvalidArgument},
                          Case{"欢呼", "", Code::InvalidArgument},
                          Case{huge, "掌声", Code::InvalidArgument},
                          Case{"欢呼", huge, Code::InvalidArgument},
                          Case{"欢呼", "笑声", Code::NoSuchEffect},
                          Case{"没有", "掌声", Code::NoSuchEffect}}) {
        QELRemoteError error;
        EXPECT_FALSE(commands.play(c.category, c.title, &error));
        EXPECT_EQ(error.code, c.code) << c.category.substr(0, 8) << "/" << c.title.substr(0, 8);
        EXPECT_FALSE(error.message.empty());
    }
    QELRemoteError error;
    EXPECT_FALSE(commands.playFavorite("掌声", &error));
    EXPECT_STREQ(error.name(), "NoSuchEffect");
    EXPECT_FALSE(commands.playFavorite(huge, &error));
    EXPECT_STREQ(error.name(), "InvalidArgument");

    // An unplayable file is a failure, not a start.
    EXPECT_FALSE(commands.play("欢呼", "欢呼", &error));
    EXPECT_STREQ(error.name(), "PlaybackFailed");
    EXPECT_EQ(commands.playing(), "");
    EXPECT_TRUE(changes.empty());
}

TEST_F(RemoteCommandsTest, HotkeysFireThroughTheCommandsAndOneWhoseFavouriteWentIsRefused) {
    using Action = QELHotkey::Action;
    const auto combo = *QELKeyCombo::parse("ctrl+alt+1");
    // What assigning one asks first.
    EXPECT_TRUE(QELHotkeys::check({combo, Action::Play, "搞笑", "笑声"}, commands));
    EXPECT_TRUE(QELHotkeys::check({combo, Action::PlayFavorite, "", "我的"}, commands));
    EXPECT_FALSE(QELHotkeys::check({combo, Action::Play, "搞笑", "我的"}, commands));
    EXPECT_TRUE(QELHotkeys::fire({combo, Action::Play, "搞笑", "笑声"}, commands));
    EXPECT_TRUE(QELHotkeys::fire({combo, Action::StopAll, "", ""}, commands));
    EXPECT_EQ(commands.playing(), "");
    const QELHotkey mine{combo, Action::PlayFavorite, "", "我的"};
    EXPECT_TRUE(QELHotkeys::fire(mine, commands));
    EXPECT_EQ(commands.playing(), "UserCustom/我的");
    commands.stop();
    favorites->removeSoundEffect(storage.soundEffects().front());
    QELRemoteError error;
    EXPECT_FALSE(QELHotkeys::fire(mine, commands, &error));
    EXPECT_EQ(error.code, Code::NoSuchEffect);
    EXPECT_FALSE(QELHotkeys::check(mine, commands, &error));
    EXPECT_EQ(error.message, "no favourite \"我的\"");
}
