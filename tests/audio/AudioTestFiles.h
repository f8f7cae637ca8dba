#pragma once

// Sound files for the audio tests, made and read back by sox, a decoder we
// did not write.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace audiotest {

// Synthesises `seconds` of a sine at `hz` into `path` (format from its
// extension); `extra` goes before the output file (e.g. "-b 16").
inline void makeTone(const std::string& path, double seconds, int rate = 44100, int channels = 1,
                     int hz = 440, const std::string& extra = "") {
    const std::string cmd = "sox -n -r " + std::to_string(rate) + " -c " +
                            std::to_string(channels) + " " + extra + " '" + path + "' synth " +
                            std::to_string(seconds) + " sine " + std::to_string(hz) +
                            " vol 0.5 2>&1";
    std::string out;
    ASSERT_EQ(testsupport::run(cmd, &out), 0) << cmd << "\n" << out;
}

// The file's samples as sox decodes them: interleaved float, optionally
// converted to `rate` first.
inline std::vector<float> soxSamples(const std::string& path) {
    std::string raw;
    EXPECT_EQ(testsupport::run("sox '" + path + "' -t f32 -e floating-point -", &raw), 0);
    std::vector<float> samples(raw.size() / sizeof(float));
    std::memcpy(samples.data(), raw.data(), samples.size() * sizeof(float));
    return samples;
}

// Integrated loudness (LUFS) and true peak (dBTP) of the file at `path` as
// ffmpeg's ebur128 filter, a meter we did not write, reads them.
struct FfmpegLoudness {
    double integrated = NAN;
    double truePeak = NAN;
};
inline FfmpegLoudness ffmpegLoudness(const std::string& path) {
    std::string out;
    EXPECT_EQ(testsupport::run("ffmpeg -hide_banner -nostats -i '" + path +
                                   "' -af ebur128=peak=true -f null - 2>&1",
                               &out),
              0)
        << out;
    FfmpegLoudness l;
    const std::string tail = out.substr(std::min(out.find("Summary:"), out.size()));
    std::smatch m;
    if (std::regex_search(tail, m, std::regex(R"(I:\s*(-?[0-9.]+) LUFS)")))
        l.integrated = std::stod(m[1]);
    if (std::regex_search(tail, m, std::regex(R"(Peak:\s*(-?[0-9.]+|-inf))")))
        l.truePeak = m[1] == "-inf" ? -INFINITY : std::stod(m[1]);
    return l;
}

}  // namespace audiotest
