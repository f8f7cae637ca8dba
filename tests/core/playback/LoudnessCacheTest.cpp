#include <gtest/gtest.h>

#include <filesystem>

#include "core/playback/QELLoudnessCache.h"
#include "foundation/RunLoop.h"
#include "support/TestSupport.h"

namespace {

// A 997-Hz sine peaking at `peakDb` dBFS reads peakDb - 3 LUFS.
void sine(const std::string& path, double peakDb, double seconds = 2) {
    std::string out;
    ASSERT_EQ(testsupport::run("sox -R -n -r 44100 -c 1 -b 16 '" + path + "' synth " +
                                   std::to_string(seconds) + " sine 997 gain -n " +
                                   std::to_string(peakDb) + " 2>&1",
                               &out),
              0)
        << out;
}

std::optional<platform::LoudnessMeasure> measured(QELLoudnessCache& cache, const std::string& path) {
    cache.waitUntilMeasured();
    platform::RunLoop::main().runUntilIdle();
    return cache.measureFor(path);
}

}  // namespace

TEST(LoudnessCache, MeasuresEachVersionOfAFileOnceAndRemembersItAcrossRuns) {
    testsupport::TempDir dir;
    const std::string file = dir.file("Library/LoudnessCache.plist");
    const std::string quiet = dir.file("quiet.wav"), loud = dir.file("loud.wav");
    sine(quiet, -20);
    sine(loud, -2);
    {
        QELLoudnessCache cache(file);
        EXPECT_EQ(cache.gainFor(quiet, -16), 1.0) << "unknown yet: played as it is";
        cache.prefetch({loud, dir.file("missing.wav")});
        const auto m = measured(cache, quiet);
        ASSERT_TRUE(m && m->measurable);
        EXPECT_NEAR(m->loudness, -23.0, 0.1);
        EXPECT_GT(cache.gainFor(quiet, -16), 1.0) << "known now: brought up to the target";
        EXPECT_FALSE(cache.measureFor(dir.file("missing.wav")));
    }
    {
        // Known at once in the next run; a file since changed is measured anew.
        QELLoudnessCache cache(file);
        EXPECT_TRUE(cache.measureFor(loud));
        sine(quiet, -30, 1);
        EXPECT_FALSE(cache.measureFor(quiet));
        EXPECT_NEAR(measured(cache, quiet)->loudness, -33.0, 0.1);
    }
    // A damaged cache costs measurements, nothing else.
    testsupport::writeText(file, "<plist><dict><key>");
    QELLoudnessCache cache(file);
    EXPECT_FALSE(cache.measureFor(loud));
    EXPECT_TRUE(measured(cache, loud));
}
