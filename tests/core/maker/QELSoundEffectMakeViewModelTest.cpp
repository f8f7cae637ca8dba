#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "audio/AudioSession.h"
#include "audio/NullAudioBackend.h"
#include "core/maker/MakerTestSupport.h"
#include "core/maker/QELSoundEffectMakeViewModel.h"
#include "foundation/DebugLog.h"
#include "foundation/NotificationCenter.h"

namespace fs = std::filesystem;
using Type = QELSoundEffectEditType;
using VM = QELSoundEffectMakeViewModel;

namespace {

// The model on a null engine whose input is a 1 kHz tone, with its folders
// and collection in a temporary directory; the main loop on a manual clock.
class MakeViewModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::RunLoop::main().setClock(clock);
        oldSink = platform::setDebugErrorSink(
            [this](const platform::DebugErrorEntry& e) { errors.push_back(e.message); });
        auto backend = std::make_unique<platform::NullAudioBackend>(platform::RunLoop::main());
        std::vector<float> tone(44100 * 4);
        for (size_t i = 0; i < tone.size(); ++i)
            tone[i] = 0.1f * std::sin(2 * M_PI * 1000 * static_cast<double>(i) / 44100);
        backend->setInputSignal(std::move(tone));
        engine.start(std::move(backend));
        storage = std::make_unique<QELMySoundEffectStorage>(dir.file("Customcollection.info"));
    }

    void TearDown() override {
        engine.stop();
        platform::RunLoop::main().runUntilIdle();
        platform::setDebugErrorSink(oldSink);
        platform::RunLoop::main().setClock(platform::Clock::system());
    }

    VM::Environment environment() {
        return {dir.file("record"), dir.file("Custom"), storage.get(), &engine};
    }

    // Records `seconds` of the input.
    void record(VM& vm, double seconds) {
        ASSERT_TRUE(vm.startRecording());
        clock.advanceSeconds(seconds);
        platform::RunLoop::main().runUntilIdle();
        ASSERT_TRUE(vm.stopRecording());
    }

    bool edit(VM& vm, Type type) {
        std::optional<bool> rendered;
        vm.editRecord(type, [&](VM&, bool r) { rendered = r; });
        EXPECT_TRUE(makertest::waitOnMain([&] { return rendered.has_value(); }));
        return rendered.value_or(false);
    }

    struct Saved {
        bool called = false, result = true;
        std::optional<QELSaveRecordError> error;
    };
    Saved save(VM& vm, const std::string& name) {
        Saved saved;
        vm.saveRecord(name, [&](QELSoundEffectSaveViewModel& s, bool r,
                                const std::optional<QELSaveRecordError>& e) {
            EXPECT_EQ(&s, &vm);
            saved = {true, r, e};
        });
        EXPECT_TRUE(makertest::waitOnMain([&] { return saved.called; }));
        return saved;
    }

    testsupport::TempDir dir;
    platform::ManualClock clock;
    // The shared one: previews play through it.
    platform::AudioEngine& engine = platform::AudioEngine::shared();
    std::unique_ptr<QELMySoundEffectStorage> storage;
    std::vector<std::string> errors;
    platform::DebugErrorSink oldSink;
    int started = 0;  // recordings any model announced
    platform::NotificationToken startedToken =
        platform::NotificationCenter::defaultCenter().addObserver(
            VM::SoundEffectMakeRecordStartedNotification, nullptr,
            [this](const platform::Notification&) { ++started; });
};

}  // namespace

// Silence reads 0 dB from the meter; the scale starts at -60 dB.
TEST(MakeViewModelLevel, SilenceAndLevelsUnderTheScaleReadZero) {
    EXPECT_EQ(VM::normalizedPowerLevel(0.0f), 0.0f);
    EXPECT_EQ(VM::normalizedPowerLevel(-60.5f), 0.0f);
}

TEST_F(MakeViewModelTest, StartsEmptyRecordsTheInputAndMetersIt) {
    testsupport::writeText(dir.file("record/Uncle.caf"), "left by an earlier run");
    testsupport::writeText(dir.file("record/old/tmp.wav"), "left by an earlier run");
    VM vm(environment());
    EXPECT_TRUE(fs::is_empty(dir.file("record")));
    EXPECT_TRUE(fs::is_directory(dir.file("Custom")));

    ASSERT_TRUE(vm.startRecording());
    EXPECT_EQ(started, 1);
    clock.advanceSeconds(2.5);
    platform::RunLoop::main().runUntilIdle();
    // The writer thread measures what it moves to the file.
    ASSERT_TRUE(makertest::waitOnMain([&] { return vm.recorder()->framesWritten() >= 110250; }));
    // A 0.1 amplitude sine averages -23 dBFS: sqrt(10^(-23/20) - 0.001).
    EXPECT_NEAR(vm.normalizedPowerLevel(), 0.2642, 1e-3);
    ASSERT_TRUE(vm.stopRecording());

    // Exactly the clock's 2.5 s (the file itself: AlsaFileCapture's tests).
    EXPECT_EQ(makertest::soxi("-s", vm.tmpRecordFilePath()), "110250");
}

TEST_F(MakeViewModelTest, SavesTheCurrentTakeAndReplacesOneOfTheSameNameWholeOrNotAtAll) {
    VM vm(environment());
    auto saved = save(vm, "开场");  // nothing recorded: no take to copy
    ASSERT_TRUE(saved.error);
    EXPECT_EQ(saved.error->message, VM::kSaveCopyFailedMessage);
    EXPECT_TRUE(storage->soundEffects().empty());

    record(vm, 2.0);
    EXPECT_TRUE(edit(vm, Type::Slow));
    EXPECT_EQ(vm.currentEditType(), Type::Slow);
    makertest::expectRenderedWav(vm.variantFilePath(Type::Slow));
    EXPECT_FALSE(vm.hasSoundEffectNamed("开场"));
    saved = save(vm, "开场");
    EXPECT_FALSE(saved.error);
    EXPECT_FALSE(saved.result);  // the collection's add says false whatever it did
    const auto target = dir.file("Custom/开场.caf");
    EXPECT_EQ(makertest::bytesOf(target), makertest::bytesOf(vm.variantFilePath(Type::Slow)));
    ASSERT_EQ(storage->soundEffects().size(), 1u);
    EXPECT_TRUE(storage->soundEffects()[0]->isUserCustom());
    EXPECT_TRUE(vm.hasSoundEffectNamed("开场"));

    // Discarding brings back the raw take as the result, and empties the folder.
    vm.discardRecord();
    EXPECT_FALSE(vm.currentEditType());
    EXPECT_TRUE(fs::is_empty(dir.file("record")));
    record(vm, 1.5);
    EXPECT_FALSE(save(vm, "开场").error);
    EXPECT_EQ(makertest::bytesOf(target), makertest::bytesOf(vm.tmpRecordFilePath()));
    EXPECT_EQ(storage->soundEffects().size(), 1u);

    // A copy that fails leaves the saved recording and its entry alone.
    const auto kept = makertest::bytesOf(target);
    fs::remove(vm.tmpRecordFilePath());
    EXPECT_TRUE(save(vm, "开场").error);
    EXPECT_EQ(makertest::bytesOf(target), kept);
    EXPECT_EQ(storage->soundEffects().size(), 1u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("Custom")), {}), 1)
        << "no temporary file left behind";

    // With the loudness switch on, the take is saved at the target.
    auto env = environment();
    env.loudnessTarget = [] { return std::optional<double>(-16); };
    VM levelled(env);
    record(levelled, 2.0);
    save(levelled, "even");
    makertest::expectRenderedWav(dir.file("Custom/even.caf"));
    const auto loudness = audiotest::ffmpegLoudness(dir.file("Custom/even.caf"));
    EXPECT_NEAR(loudness.integrated, -16, 0.5);
    EXPECT_LE(loudness.truePeak, -1.0);
}

TEST_F(MakeViewModelTest, RefusesNamesThatLeaveTheCollectionFolder) {
    VM vm(environment());
    record(vm, 1.0);
    for (const std::string& name :
         std::vector<std::string>{"../escape", "a/b", ".", "..", std::string("a\0b", 3)}) {
        SCOPED_TRACE(name);
        errors.clear();
        auto saved = save(vm, name);
        ASSERT_TRUE(saved.error);
        EXPECT_EQ(saved.error->code, QELSaveRecordError::Code::InvalidName);
        EXPECT_FALSE(saved.result);
        EXPECT_EQ(errors.size(), 1u);
    }
    EXPECT_TRUE(storage->soundEffects().empty());
    EXPECT_TRUE(fs::is_empty(dir.file("Custom")));
    EXPECT_FALSE(fs::exists(dir.file("escape.caf")));

    // A name is otherwise taken as typed, blanks and all.
    EXPECT_FALSE(save(vm, " .hidden ").error);
    EXPECT_TRUE(fs::exists(dir.file("Custom/ .hidden .caf")));
}

// Renders held back by the test and let go in the order it chooses.
TEST_F(MakeViewModelTest, TheLatestPickWinsOverARenderThatEndsLater) {
    std::vector<platform::Task> held;
    auto env = environment();
    env.renderExecutor = [&](platform::Task task) { held.push_back(std::move(task)); };
    VM vm(env);
    record(vm, 1.0);
    auto letGo = [&](size_t i) {
        held.at(i)();
        platform::RunLoop::main().runUntilIdle();
    };

    std::vector<std::string> done;
    auto note = [&](const char* what) {
        return [&done, what](VM&, bool rendered) { done.push_back(what + std::to_string(rendered)); };
    };
    vm.editRecord(Type::Slow, note("slow"));
    vm.editRecord(Type::Loli, note("loli"));
    vm.editRecord(Type::Loli, note("loli again"));  // joins the render under way
    ASSERT_EQ(held.size(), 2u);

    letGo(1);
    EXPECT_EQ(vm.currentEditType(), Type::Loli);
    EXPECT_EQ(done, (std::vector<std::string>{"loli1", "loli again1"}));
    letGo(0);
    EXPECT_EQ(vm.currentEditType(), Type::Loli) << "the older pick ended last and lost";
    EXPECT_EQ(done.back(), "slow1");
    makertest::expectRenderedWav(vm.variantFilePath(Type::Slow));

    vm.editRecord(Type::Slow, note("slow reused"));
    EXPECT_EQ(done.back(), "slow reused0");
    EXPECT_EQ(vm.currentEditType(), Type::Slow);
    EXPECT_EQ(held.size(), 2u);
}

TEST_F(MakeViewModelTest, PreviewsAVariantOnceUntilItEnds) {
    VM vm(environment());
    record(vm, 1.0);
    vm.playSoundEffect(Type::Fast);  // not rendered: nothing plays
    EXPECT_FALSE(vm.player());
    ASSERT_TRUE(edit(vm, Type::Fast));

    vm.playSoundEffect(Type::Fast);
    auto first = vm.player();
    ASSERT_TRUE(first && first->isPlaying());
    EXPECT_EQ(vm.currentPlayingType(), Type::Fast);
    vm.playSoundEffect(Type::Fast);
    EXPECT_EQ(vm.player(), first);  // still playing: not restarted

    clock.advanceSeconds(2.0);
    platform::RunLoop::main().runUntilIdle();
    EXPECT_FALSE(vm.currentPlayingType());
    vm.playSoundEffect(Type::Fast);
    EXPECT_NE(vm.player(), first);
    EXPECT_TRUE(vm.player()->isPlaying());
}

TEST_F(MakeViewModelTest, WithoutARecorderNothingRecords) {
    testsupport::writeText(dir.file("record"), "a file where the folder should be");
    VM vm(environment());
    EXPECT_EQ(vm.normalizedPowerLevel(), 0.0f);
    EXPECT_FALSE(vm.startRecording());
    EXPECT_FALSE(vm.stopRecording());
    EXPECT_EQ(started, 0);
    EXPECT_EQ(vm.recorder(), nullptr);
}

// Granted with an input: AlsaFileCapture.RecordsTheDevicesInputIntoA16BitWav.
TEST(AudioSessionTest, DeniesRecordingWithoutAnInput) {
    platform::RunLoop loop;
    platform::AudioEngine silent(loop);
    silent.start(std::make_unique<platform::NullAudioBackend>(loop));
    EXPECT_EQ(platform::AudioSession(silent).recordPermission(),
              platform::AudioSession::RecordPermission::Denied);
}
