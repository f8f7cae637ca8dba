// Import of a 60-s stereo 48-kHz file (pink noise with a second of silence at
// each end, as FLAC): decode, mix to mono, resample to 44.1 kHz, trim,
// normalise, encode and write. Prints the best of five runs and the
// multiple of real time (target: at least 150x), by the wall clock and by
// processor time.
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <utility>

#include "core/maker/QELRecordingSave.h"
#include "core/maker/QELSoundEffectImporter.h"

int main() {
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::temp_directory_path() / ("quellio-bench-import-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string source = (dir / "sixty.flac").string();
    const std::string make =
        "sox -n -r 48000 -c 2 '" + source + "' synth 58 pinknoise vol 0.3 pad 1 1";
    if (std::system(make.c_str()) != 0) {
        std::fputs("bench_import: sox failed\n", stderr);
        return 1;
    }
    constexpr double kSeconds = 60;
    // The whole import, then decoding and resampling alone (no trim, no
    // loudness), to tell where the time goes.
    QELImportOptions bare;
    bare.trimSilence = false;
    bare.normalise = false;
    for (const auto& [what, options] :
         {std::pair{"import", QELImportOptions()}, std::pair{"decode and resample only", bare}}) {
        double best = 1e9, bestCpu = 1e9;
        for (int run = 0; run < 5; ++run) {
            const auto start = std::chrono::steady_clock::now();
            const std::clock_t cpuStart = std::clock();
            QELImportResult result;
            auto bytes = QELSoundEffectImporter::prepare(source, options, nullptr, result);
            std::string error;
            if (!bytes || !QELRecordingSave::write(dir.string(), "out", *bytes, &error)) {
                std::fprintf(stderr, "bench_import: %s%s\n", result.message.c_str(), error.c_str());
                return 1;
            }
            best = std::min(
                best,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            bestCpu =
                std::min(bestCpu, static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC);
        }
        // The processor time too: on a busy machine the wall clock counts
        // the other programs' turns.
        std::printf(
            "%s of a 60-s stereo 48-kHz FLAC file: %.1f ms, %.0fx real time "
            "(processor time %.1f ms, %.0fx)\n",
            what, best * 1000, kSeconds / best, bestCpu * 1000, kSeconds / bestCpu);
    }
    fs::remove_all(dir);
    return 0;
}
