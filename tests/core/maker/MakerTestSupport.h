#pragma once
// Rendered and recorded files, read back by sox/soxi, tools we did not write.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio/AudioTestFiles.h"
#include "foundation/RunLoop.h"

namespace makertest {

inline std::string soxi(const std::string& option, const std::string& path) {
    std::string out;
    EXPECT_EQ(testsupport::run("soxi " + option + " '" + path + "' 2>&1", &out), 0) << out;
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

inline std::vector<uint8_t> bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// Frequency of a steady tone from its upward zero crossings, leaving out the
// first and last tenth where a processor fades in and out.
inline double toneFrequency(const std::string& path, double rate = 44100) {
    const auto s = audiotest::soxSamples(path);
    const size_t from = s.size() / 10, to = s.size() - s.size() / 10;
    size_t first = 0, last = 0, crossings = 0;
    for (size_t i = from + 1; i < to; ++i) {
        if (s[i - 1] < 0 && s[i] >= 0) {
            if (crossings == 0) first = i;
            last = i;
            ++crossings;
        }
    }
    if (crossings < 2) return 0;
    return static_cast<double>(crossings - 1) * rate / static_cast<double>(last - first);
}

// Checks the file is the renderer's format and that its header tells the
// true length of its data.
inline void expectRenderedWav(const std::string& path) {
    EXPECT_EQ(soxi("-r", path), "44100");
    EXPECT_EQ(soxi("-c", path), "1");
    EXPECT_EQ(soxi("-b", path), "16");
    const auto bytes = bytesOf(path);
    ASSERT_GE(bytes.size(), 44u);
    EXPECT_EQ(le32(bytes, 40), bytes.size() - 44);
    EXPECT_EQ(le32(bytes, 4), bytes.size() - 8);
}

// Runs the main loop until `done`, for work that comes back from a
// background queue.
inline bool waitOnMain(const std::function<bool()>& done) {
    return platform::RunLoop::main().runUntil(done, std::chrono::seconds(30));
}

}  // namespace makertest
