#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>

#include "audio/AudioEngine.h"
#include "audio/AudioMixer.h"
#include "audio/AudioPlayer.h"
#include "audio/AudioTestFiles.h"
#include "core/playback/QELLoudnessCache.h"
#include "core/playback/QELSoundEffectPlayController.h"
#include "core/playback/QELSoundEffectPlayer.h"
#include "foundation/DebugLog.h"
#include "core/settings/QELAudioSettings.h"
#include "foundation/NotificationCenter.h"

using namespace std::chrono_literals;
using platform::IndexPath;
using Stops = std::vector<IndexPath>;

namespace {

// A controller over a plain list of records, in section 0.
class ListController : public QELSoundEffectPlayController {
public:
    explicit ListController(std::vector<QELSoundEffect::Ref> items) : items_(std::move(items)) {
        setPlayStopped([this](QELSoundEffectPlayController& c, const IndexPath& ip) {
            EXPECT_EQ(&c, this);
            stops.push_back(ip);
        });
    }
    QELSoundEffect::Ref objectAtIndexPath(const IndexPath& ip) override {
        return items_.at(ip.row);
    }

    std::vector<IndexPath> stops;

private:
    std::vector<QELSoundEffect::Ref> items_;
};

// The shared engine on the null output and the main loop on a manual clock:
// sounds end when the test moves time.
class PlayControllerTest : public ::testing::Test {
protected:
    // Test processes run side by side with one collection folder: each
    // writes its sounds into a folder of its own.
    static std::string folder() { return "/playback-" + std::to_string(::getpid()); }

    static void SetUpTestSuite() {
        const std::string dir = kUserCollectionFileBasePath() + folder();
        std::filesystem::create_directories(dir);
        for (auto [name, seconds] : {std::pair{"a.wav", 0.5}, {"b.wav", 0.3}, {"c.wav", 0.4}}) {
            audiotest::makeTone(dir + "/" + name, seconds);
        }
        testsupport::writeText(dir + "/broken.wav", "not a sound");
    }

    static void TearDownTestSuite() {
        std::filesystem::remove_all(kUserCollectionFileBasePath() + folder());
    }

    void SetUp() override {
        platform::RunLoop::main().setClock(clock);
        platform::AudioEngine::shared().startNull();
        notifications = platform::NotificationCenter::defaultCenter().addObserver(
            QELSoundEffectPlayer::SoundEffectPlayerDidStoppedNotification, nullptr,
            [this](const platform::Notification& n) { posted.push_back(n.object); });
    }

    void TearDown() override {
        platform::AudioEngine::shared().stop();
        platform::RunLoop::main().runUntilIdle();
        platform::RunLoop::main().setClock(platform::Clock::system());
    }

    static QELSoundEffect::Ref effect(const std::string& file) {
        return QELSoundEffect::customSoundEffectWithName(file, folder() + "/" + file);
    }

    void advance(std::chrono::milliseconds d) {
        clock.advance(d);
        platform::RunLoop::main().runUntilIdle();
    }

    platform::ManualClock clock;
    platform::NotificationToken notifications;
    std::vector<const void*> posted;
    ListController board{{effect("a.wav"), effect("b.wav"), effect("a.wav"), effect("broken.wav")}};
};

}  // namespace

TEST_F(PlayControllerTest, ATapSwitchesToAnotherItemAndATapOnTheSameSoundStopsIt) {
    EXPECT_TRUE(board.playOrStopAtIndexPath({0, 0}));
    auto first = board.player();
    EXPECT_TRUE(board.playOrStopAtIndexPath({0, 1}));
    EXPECT_EQ(board.stops, (Stops{{0, 0}}));
    EXPECT_FALSE(first->isPlaying());
    EXPECT_TRUE(board.player()->isPlaying());
    EXPECT_EQ(board.playingIndexPath(), (IndexPath{0, 1}));
    // A play while its own player plays changes nothing.
    EXPECT_TRUE(board.play(effect("c.wav"), {0, 2}));
    EXPECT_EQ(board.playingEffect()->name(), "b.wav");

    // An equal record at another index path is the same sound. Its owner
    // hears of the stop through its callback; no other screen lost a sound.
    board.playOrStopAtIndexPath({0, 0});
    posted.clear();
    EXPECT_FALSE(board.playOrStopAtIndexPath({0, 2}));
    EXPECT_EQ(board.stops, (Stops{{0, 0}, {0, 1}, {0, 0}}));
    EXPECT_TRUE(posted.empty());
    EXPECT_FALSE(board.playingEffect());
    EXPECT_FALSE(board.playingIndexPath());

    // Stopped by its own controller: no end call follows later.
    advance(2s);
    EXPECT_EQ(board.stops.size(), 3u);
}

TEST_F(PlayControllerTest, ASoundThatRunsToItsEndReportsItsIndexPathOnce) {
    board.playOrStopAtIndexPath({0, 1});  // 0.3 s
    advance(250ms);
    EXPECT_TRUE(board.stops.empty());
    advance(100ms);
    EXPECT_EQ(board.stops, (Stops{{0, 1}}));
    EXPECT_FALSE(board.playingEffect());
    EXPECT_FALSE(board.playingIndexPath());
    advance(2s);
    EXPECT_EQ(board.stops.size(), 1u);
    EXPECT_TRUE(board.playOrStopAtIndexPath({0, 1})) << "idle again: a tap plays";

    // Without a callback a stop leaves the index path; the end clears it.
    board.setPlayStopped(nullptr);
    board.stop();
    EXPECT_EQ(board.playingIndexPath(), (IndexPath{0, 1}));
    board.playOrStopAtIndexPath({0, 0});
    advance(1s);
    EXPECT_FALSE(board.playingIndexPath());
}

TEST_F(PlayControllerTest, PlayingElsewhereStopsThisControllersSoundAndTellsEveryone) {
    ListController collection{{effect("c.wav"), effect("broken.wav")}};
    board.playOrStopAtIndexPath({0, 0});
    auto boardPlayer = board.player();
    posted.clear();

    EXPECT_TRUE(collection.playOrStopAtIndexPath({0, 0}));
    EXPECT_EQ(board.stops, (Stops{{0, 0}}));
    EXPECT_FALSE(board.playingEffect());
    EXPECT_FALSE(boardPlayer->isPlaying());
    EXPECT_EQ(posted, std::vector<const void*>{boardPlayer.get()});

    // A tap elsewhere that fails still ends this sound, and says so: nothing
    // is left lit over silence.
    board.playOrStopAtIndexPath({0, 1});
    posted.clear();
    boardPlayer = board.player();
    auto quiet = platform::setDebugErrorSink([](const platform::DebugErrorEntry&) {});
    EXPECT_FALSE(collection.playOrStopAtIndexPath({0, 1}));
    platform::setDebugErrorSink(quiet);
    EXPECT_EQ(board.stops, (Stops{{0, 0}, {0, 1}}));
    EXPECT_FALSE(board.playingEffect());
    EXPECT_FALSE(boardPlayer->isPlaying());
    EXPECT_EQ(posted, std::vector<const void*>{boardPlayer.get()});
}

// A file that does not decode, or an engine with no voice left: the error
// names the file, it is logged, and nothing looks playing or restarts.
TEST_F(PlayControllerTest, ASoundThatDoesNotStartIsReportedAndNothingLooksPlaying) {
    std::vector<std::string> logged;
    auto previous = platform::setDebugErrorSink(
        [&](const platform::DebugErrorEntry& e) { logged.push_back(e.message); });
    platform::AudioError error;
    EXPECT_FALSE(board.playOrStopAtIndexPath({0, 3}, &error));
    EXPECT_NE(error.message.find("broken.wav"), std::string::npos);
    EXPECT_EQ(logged.size(), 1u);
    EXPECT_FALSE(board.playingIndexPath());
    platform::setDebugErrorSink(previous);

    // Every voice of the engine taken by sounds of nobody's.
    std::vector<std::shared_ptr<platform::AudioPlayer>> crowd;
    for (size_t i = 0; i < platform::AudioMixer::kMaxVoices; ++i) {
        crowd.push_back(platform::AudioPlayer::playerWithContentsOfFile(
            kUserCollectionFileBasePath() + folder() + "/a.wav"));
        ASSERT_TRUE(crowd.back() && crowd.back()->play());
    }
    EXPECT_FALSE(board.playOrStopAtIndexPath({0, 1}, &error));
    EXPECT_EQ(error.code, platform::AudioError::Code::DeviceUnavailable);
    EXPECT_NE(error.message.find("b.wav"), std::string::npos);
    EXPECT_FALSE(board.playingEffect());
    EXPECT_FALSE(board.playingIndexPath());
    EXPECT_TRUE(board.stops.empty());
    crowd.clear();
    EXPECT_TRUE(board.playOrStopAtIndexPath({0, 1}));
}

TEST_F(PlayControllerTest, AControllerGoneWhileItsSoundPlaysIsNotCalledBack) {
    auto gone = std::make_unique<ListController>(std::vector<QELSoundEffect::Ref>{effect("c.wav")});
    gone->playOrStopAtIndexPath({0, 0});
    std::weak_ptr<platform::AudioPlayer> player = gone->player();
    gone.reset();
    EXPECT_TRUE(player.expired());  // released, so silent
    EXPECT_TRUE(board.playOrStopAtIndexPath({0, 0}));
    advance(2s);
    EXPECT_EQ(board.stops, (Stops{{0, 0}}));
}

// A recording from before recordings were normalised: quiet, stored as made.
TEST_F(PlayControllerTest, AUserRecordingPlaysBroughtToTheChosenLoudnessOnceMeasured) {
    const std::string quiet = kUserCollectionFileBasePath() + folder() + "/quiet.wav";
    ASSERT_EQ(testsupport::run("sox -n -r 44100 -c 1 '" + quiet + "' synth 1 sine 997 vol 0.05"), 0);
    ListController list({effect("quiet.wav")});
    QELAudioSettings settings;
    ASSERT_TRUE(settings.normaliseLoudness());
    settings.setLoudnessTarget(-16);

    list.playOrStopAtIndexPath({0, 0});
    EXPECT_EQ(list.player()->gain(), 1.0f) << "a tap never waits for the measurement";
    list.stop();
    QELLoudnessCache::shared().waitUntilMeasured();
    platform::RunLoop::main().runUntilIdle();
    list.playOrStopAtIndexPath({0, 0});
    // -26 dBFS peak: -29 LUFS, 13 dB under the target.
    EXPECT_NEAR(20 * std::log10(list.player()->gain()), 13.0, 0.2);
    list.stop();

    settings.setNormaliseLoudness(false);
    list.playOrStopAtIndexPath({0, 0});
    EXPECT_EQ(list.player()->gain(), 1.0f);
    settings.setNormaliseLoudness(true);
}
