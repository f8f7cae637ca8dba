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

// Integrated loudness (LUFS), true peak (dBTP) and loudest momentary value
// (LUFS) of the file at `path` as ffmpeg's ebur128 filter, a meter we did
// not write, reads them. `input` describes a raw file (e.g. "-f f32le -ar
// 48000 -ac 2"); `pad` adds half a second of silence so that a sound shorter
// than the momentary window gets a momentary value at all.
struct FfmpegLoudness {
    double integrated = NAN;  // -70 when too short
    double truePeak = NAN;
    double maxMomentary = -INFINITY;
};
inline FfmpegLoudness ffmpegLoudness(const std::string& path, const std::string& input = "",
                                     bool pad = false) {
    std::string out;
    EXPECT_EQ(testsupport::run("ffmpeg -hide_banner -nostats " + input + " -i '" + path + "' -af " +
                                   (pad ? "apad=pad_dur=0.5," : "") +
                                   "ebur128=peak=true:framelog=info -f null - 2>&1",
                               &out),
              0)
        << out;
    FfmpegLoudness l;
    const size_t summary = std::min(out.find("Summary:"), out.size());
    const std::string frames = out.substr(0, summary), tail = out.substr(summary);
    const std::regex momentary(R"(M:\s*(-?[0-9.]+))");
    for (auto it = std::sregex_iterator(frames.begin(), frames.end(), momentary);
         it != std::sregex_iterator(); ++it)
        l.maxMomentary = std::max(l.maxMomentary, std::stod((*it)[1]));
    std::smatch m;
    if (std::regex_search(tail, m, std::regex(R"(I:\s*(-?[0-9.]+) LUFS)")))
        l.integrated = std::stod(m[1]);
    if (std::regex_search(tail, m, std::regex(R"(Peak:\s*(-?[0-9.]+|-inf))")))
        l.truePeak = m[1] == "-inf" ? -INFINITY : std::stod(m[1]);
    return l;
}

}  // namespace audiotest
