#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "core/maker/MakerTestSupport.h"
#include "core/maker/QELSoundEffectEditor.h"
#include "foundation/DebugLog.h"
#include "foundation/DispatchQueue.h"

using Type = QELSoundEffectEditType;

namespace {

class EditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        source = dir.file("tmp_record.wav");
        audiotest::makeTone(source, 2.0, 44100, 1, 1000, "-b 16");
    }

    // Renders `source` through `type` into `dest`; true when the completion came.
    bool render(std::optional<Type> type, const std::string& dest) {
        auto editor = QELSoundEffectEditor::initWithAudioURL(source, dest);
        editor->setEditType(type);
        int calls = 0;
        editor->editAsset([&](QELSoundEffectEditor& e) {
            EXPECT_EQ(&e, editor.get());
            EXPECT_TRUE(platform::MainQueue::isCurrent());
            ++calls;
        });
        const bool came = makertest::waitOnMain([&] { return calls > 0; });
        platform::RunLoop::main().runUntilIdle();
        EXPECT_LE(calls, 1);
        return came;
    }

    double seconds(const std::string& path) { return std::stod(makertest::soxi("-D", path)); }

    testsupport::TempDir dir;
    std::string source;
};

// Fails after the first block, as a reader does when the disk goes away.
class FailingReader : public platform::AudioAssetReader {
public:
    explicit FailingReader(std::unique_ptr<AudioAssetReader> inner) : inner_(std::move(inner)) {}
    bool startReading() override { return inner_->startReading(); }
    std::optional<platform::AudioSampleBlock> copyNextSampleBuffer() override {
        if (blocks_++ == 0) return inner_->copyNextSampleBuffer();
        return std::nullopt;
    }
    Status status() const override { return blocks_ > 1 ? Status::Failed : inner_->status(); }
    std::string error() const override { return "I/O error"; }

private:
    std::unique_ptr<AudioAssetReader> inner_;
    int blocks_ = 0;
};

}  // namespace

// The raw values name the variants' files of earlier runs, case and all.
TEST(EditType, ReadsTheNamesOfEarlierRunsCaseAndAll) {
    EXPECT_EQ(editTypeFromRawValue("Uncle"), Type::Uncle);
    EXPECT_FALSE(editTypeFromRawValue("loli"));
}

TEST_F(EditorTest, VoicesShiftThePitchAndTemposChangeTheLength) {
    struct Case {
        Type type;
        double hz, seconds;
    };
    // Loli six semitones up, Uncle five down; the tempo changes keep 1 kHz.
    const Case cases[] = {{Type::Loli, 1000 * std::pow(2.0, 6 / 12.0), 2.0},
                          {Type::Uncle, 1000 * std::pow(2.0, -5 / 12.0), 2.0},
                          {Type::Fast, 1000, 2.0 / 1.5},
                          {Type::Slow, 1000, 4.0},
                          {Type::Origin, 1000, 2.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(rawValue(c.type));
        const std::string dest = dir.file(std::string(rawValue(c.type)) + ".caf");
        ASSERT_TRUE(render(c.type, dest));
        makertest::expectRenderedWav(dest);
        EXPECT_NEAR(makertest::toneFrequency(dest), c.hz, c.hz * 0.02);
        // Flushed at the end: nothing of the input's tail is lost.
        EXPECT_NEAR(seconds(dest), c.seconds, 0.1);
    }
}

TEST_F(EditorTest, WithoutATypeWritesAnEmptyWav) {
    const std::string dest = dir.file("none.caf");
    ASSERT_TRUE(render(std::nullopt, dest));
    EXPECT_EQ(makertest::bytesOf(dest).size(), 44u);
    EXPECT_EQ(makertest::soxi("-s", dest), "0");
}

// A read that fails after the first block, or a source that does not
// decode: no variant is left (an old one goes first), and the answer comes
// once, on the main queue, never inside the call.
TEST_F(EditorTest, AFailedRenderWritesNothingAndCompletesOnceAsAFailure) {
    auto quiet = platform::setDebugErrorSink([](const platform::DebugErrorEntry&) {});
    for (bool unreadable : {false, true}) {
        SCOPED_TRACE(unreadable ? "unreadable source" : "failed read");
        const std::string dest = dir.file("Uncle.caf");
        if (unreadable) {
            testsupport::writeText(source, "not audio");
            testsupport::writeText(dest, "old variant");
        }
        auto editor = unreadable ? QELSoundEffectEditor::initWithAudioURL(source, dest)
                                 : QELSoundEffectEditor::initWithAudioURL(
                                       source, dest,
                                       std::make_unique<FailingReader>(
                                           platform::AudioAssetReader::open(source)));
        EXPECT_FALSE(std::filesystem::exists(dest)) << "removed before anything is read";
        editor->setEditType(Type::Uncle);
        int calls = 0;
        editor->editAsset([&](QELSoundEffectEditor& e) {
            ++calls;
            EXPECT_FALSE(e.succeeded());
        });
        EXPECT_EQ(calls, 0);
        ASSERT_TRUE(makertest::waitOnMain([&] { return calls > 0; }));
        platform::globalQueue(platform::QueuePriority::High).waitUntilIdle();
        platform::RunLoop::main().runUntilIdle();
        EXPECT_EQ(calls, 1);
        EXPECT_FALSE(std::filesystem::exists(dest));
    }
    platform::setDebugErrorSink(quiet);
}
