// Measures the loudness (integrated, range, true peak) of a 60-s stereo
// 48-kHz file with our meter and with ffmpeg's ebur128 filter (true peak on,
// the same figures) on the same file in the same run; best of a few rounds
// each. Ours is timed from the file (decoding included, as ffmpeg's is) and
// for the measurement alone; normalising the same sound to -16 LUFS (what an
// import adds) is timed too. Target: ours no slower than ffmpeg's.
//
// usage: bench_loudness_measure [ROUNDS]   (needs sox and ffmpeg)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "audio/AudioFile.h"
#include "audio/Loudness.h"

namespace {

constexpr double kSeconds = 60.0;

double since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const auto dir = std::filesystem::temp_directory_path() /
                     ("bench-loudness-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string file = (dir / "program.wav").string();
    // Speech-like programme: a tone bed, pink noise swelling and falling.
    const std::string make = "sox -R -n -r 48000 -c 2 -b 24 '" + file + "' synth " +
                             std::to_string(kSeconds) +
                             " pinknoise sine 220 tremolo 0.3 80 vol 0.3 2>/dev/null";
    if (std::system(make.c_str()) != 0) {
        std::fprintf(stderr, "bench_loudness_measure: sox failed\n");
        return 1;
    }

    double oursFile = 1e9, oursMeasure = 1e9, normalise = 1e9, theirs = 1e9;
    platform::LoudnessMeasure m;
    for (int r = 0; r < rounds; ++r) {
        auto start = std::chrono::steady_clock::now();
        const auto pcm = platform::decodeAudioFile(file, 48000);
        const auto decoded = std::chrono::steady_clock::now();
        if (!pcm) return 1;
        m = platform::measureLoudness(*pcm);
        oursFile = std::min(oursFile, since(start));
        oursMeasure = std::min(oursMeasure, since(decoded));

        platform::PcmBuffer copy = *pcm;
        start = std::chrono::steady_clock::now();
        platform::normaliseLoudness(copy, platform::kDefaultLoudnessTarget);
        normalise = std::min(normalise, since(start));

        start = std::chrono::steady_clock::now();
        const std::string ffmpeg = "ffmpeg -nostdin -hide_banner -nostats -i '" + file +
                                   "' -af ebur128=peak=true -f null - > /dev/null 2>&1";
        if (std::system(ffmpeg.c_str()) != 0) {
            std::fprintf(stderr, "bench_loudness_measure: ffmpeg failed\n");
            return 1;
        }
        theirs = std::min(theirs, since(start));
    }
    std::filesystem::remove_all(dir);

    std::printf("60-s stereo 48-kHz file: %.1f LUFS %s, range %.1f LU, true peak %.1f dBTP\n",
                m.loudness, m.integrated ? "integrated" : "max momentary", m.loudnessRange,
                m.truePeak);
    std::printf("ours, from the file:      %7.1f ms  (%.0fx real time)\n", oursFile * 1e3,
                kSeconds / oursFile);
    std::printf("ours, measurement alone:  %7.1f ms  (%.0fx real time)\n", oursMeasure * 1e3,
                kSeconds / oursMeasure);
    std::printf("ours, normalising:        %7.1f ms  (%.0fx real time)\n", normalise * 1e3,
                kSeconds / normalise);
    std::printf("ffmpeg -af ebur128=peak=true: %.1f ms  (%.0fx real time)\n", theirs * 1e3,
                kSeconds / theirs);
    std::printf("ours / ffmpeg: %.2f  (target: 1 or less)\n", oursFile / theirs);
    return 0;
}
