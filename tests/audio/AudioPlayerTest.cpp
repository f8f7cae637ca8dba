#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

#include "audio/AudioPlayer.h"
#include "audio/AudioTestFiles.h"
#include "audio/NullAudioBackend.h"

using namespace std::chrono_literals;
using platform::AudioEngine;
using platform::AudioPlayer;

namespace {

struct Delegate : platform::AudioPlayerDelegate {
    std::vector<bool> finishes;
    std::function<void()> onFinish;
    void audioPlayerDidFinishPlaying(AudioPlayer&, bool successfully) override {
        finishes.push_back(successfully);
        if (onFinish) onFinish();
    }
};

// An engine on the null output, timed by a manual clock: time moves only
// when the test says so.
class AudioPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        audiotest::makeTone(dir.file("half.wav"), 0.5);
        audiotest::makeTone(dir.file("short.wav"), 0.1);
        auto backend = std::make_unique<platform::NullAudioBackend>(loop);
        null = backend.get();
        ASSERT_TRUE(engine.start(std::move(backend)));
        delegate = std::make_shared<Delegate>();
    }

    std::shared_ptr<AudioPlayer> player(const std::string& name) {
        platform::AudioError error;
        auto p = AudioPlayer::create(engine, dir.file(name), &error);
        EXPECT_TRUE(p) << error.message;
        if (p) p->setDelegate(delegate);
        return p;
    }

    void advance(std::chrono::milliseconds d) {
        clock.advance(d);
        loop.runUntilIdle();
    }

    // The loudest sample the null output recorded in [from, to).
    float peak(size_t from, size_t to) const {
        const auto& out = null->recorded();
        float m = 0;
        for (size_t i = from; i < to && i < out.size(); ++i) m = std::max(m, std::abs(out[i]));
        return m;
    }

    testsupport::TempDir dir;
    platform::ManualClock clock;
    platform::RunLoop loop{clock};
    AudioEngine engine{loop};
    platform::NullAudioBackend* null = nullptr;
    std::shared_ptr<Delegate> delegate;
};

}  // namespace

TEST_F(AudioPlayerTest, TellsTheDelegateOnTheLoopOnceTheClockHasPassedTheSoundsEnd) {
    auto p = player("half.wav");
    auto overlapping = player("short.wav");
    EXPECT_NEAR(p->duration(), 0.5, 1e-6);
    ASSERT_TRUE(p->prepareToPlay());
    ASSERT_TRUE(p->play());
    ASSERT_TRUE(overlapping->play());
    EXPECT_TRUE(p->isPlaying());

    // Overlapping players each end on their own time.
    advance(300ms);
    EXPECT_TRUE(p->isPlaying());
    EXPECT_FALSE(overlapping->isPlaying());
    EXPECT_NEAR(p->currentTime(), 0.3, 0.01);
    EXPECT_EQ(delegate->finishes, std::vector<bool>{true});

    advance(201ms);
    EXPECT_FALSE(p->isPlaying());
    EXPECT_EQ(delegate->finishes, (std::vector<bool>{true, true}));
    EXPECT_EQ(p->currentTime(), 0.0);

    // Played again from the start, it ends once more.
    ASSERT_TRUE(p->play());
    advance(1s);
    EXPECT_EQ(delegate->finishes.size(), 3u);

    // Stopping the engine cuts a sound short and says so.
    ASSERT_TRUE(p->play());
    engine.stop();
    loop.runUntilIdle();
    EXPECT_FALSE(p->isPlaying());
    EXPECT_EQ(delegate->finishes, (std::vector<bool>{true, true, true, false}));
}

TEST_F(AudioPlayerTest, StopIsSilentToTheDelegateAndPlayResumesWhereItStopped) {
    auto p = player("half.wav");
    p->play();
    advance(200ms);
    p->stop();
    EXPECT_FALSE(p->isPlaying());
    advance(1s);
    EXPECT_TRUE(delegate->finishes.empty());
    EXPECT_NEAR(p->currentTime(), 0.2, 0.01);

    p->play();
    advance(290ms);
    EXPECT_TRUE(p->isPlaying());
    advance(20ms);
    EXPECT_EQ(delegate->finishes, std::vector<bool>{true});
}

TEST_F(AudioPlayerTest, AReleasedPlayerFallsSilentAndNoLongerCallsBack) {
    null->setRecording(true);
    auto p = player("half.wav");
    p->play();
    advance(100ms);
    p.reset();
    advance(100ms);
    ASSERT_GE(null->recorded().size(), 2u * 8820);
    EXPECT_EQ(peak(2 * 4410 + 256, SIZE_MAX), 0.0f);
    advance(1s);
    EXPECT_TRUE(delegate->finishes.empty());
}

TEST_F(AudioPlayerTest, VolumeScalesTheOutputWhilePlaying) {
    null->setRecording(true);
    auto p = player("half.wav");
    p->setVolume(2.0f);  // clamped to full
    EXPECT_EQ(p->volume(), 1.0f);
    p->play();
    advance(100ms);
    p->setVolume(0.25f);
    advance(100ms);
    EXPECT_NEAR(peak(0, 2 * 4410), 0.5f, 0.01f);
    EXPECT_NEAR(peak(2 * 4410 + 256, 2 * 8820), 0.125f, 0.01f);
}
