// Add, replace and remove on the user's collection at 10, 1,000 and 10,000
// entries. Every operation ends with the atomic save of the whole file
// (archive, write, fsync, rename), which is what the user waits for.
// Prints the median time per operation; the target at 1,000 entries is
// 5 ms or less.
//
// usage: bench_collection_ops [DIR]   (DIR: where the files go; default: the
// temporary folder. fsync costs what the file system there costs.)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/collection/QELMySoundEffectStorage.h"
#include "foundation/Files.h"
#include "foundation/KeyedArchive.h"

namespace fs = std::filesystem;
using platform::Value;

namespace {

QELSoundEffect::Ref recording(const std::string& name) {
    return QELSoundEffect::customSoundEffectWithName(name, "/" + name + ".caf");
}

double medianMs(int rounds, const std::function<void(int)>& op) {
    std::vector<double> times;
    for (int r = 0; r < rounds; ++r) {
        auto start = std::chrono::steady_clock::now();
        op(r);
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::nth_element(times.begin(), times.begin() + rounds / 2, times.end());
    return times[rounds / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path base = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
    const fs::path dir = base / ("quellio-bench-collection-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "Customcollection.info").string();

    std::printf("collection operations, median per operation (atomic save included), in %s\n",
                dir.c_str());
    std::printf("  %8s %10s %10s %10s %10s %10s\n", "entries", "load ms", "add ms", "replace ms",
                "remove ms", "file KiB");
    for (int n : {10, 1000, 10000}) {
        QELMySoundEffectStorage::List entries;
        for (int i = 0; i < n; ++i) {
            entries.push_back(QELCollectionSoundEffect::initWithSoundEffect(
                *recording("录音 " + std::to_string(i))));
        }
        auto data = platform::KeyedArchiver::archivedDataWithRootObject(
            Value(Value::Array(entries.begin(), entries.end())));
        if (!data || !platform::writeFileAtomically(path, *data)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }

        const int rounds = n >= 10000 ? 11 : 31;
        const QELMySoundEffectStorage* loaded = nullptr;
        const double load = medianMs(rounds, [&](int) {
            delete loaded;
            loaded = new QELMySoundEffectStorage(path);
        });
        delete loaded;

        QELMySoundEffectStorage storage(path);
        const double add = medianMs(
            rounds, [&](int r) { storage.addSoundEffect(recording("新 " + std::to_string(r))); });
        const double replace = medianMs(rounds, [&](int r) {
            storage.replaceSoundEffect(storage.soundEffects()[storage.soundEffects().size() / 2],
                                       recording("换 " + std::to_string(r)));
        });
        const double remove = medianMs(
            rounds, [&](int) { storage.removeSoundEffect(storage.soundEffects().back()); });
        if (storage.soundEffects().size() != static_cast<size_t>(n)) {
            std::fprintf(stderr, "unexpected collection size %zu\n", storage.soundEffects().size());
            return 1;
        }
        std::printf("  %8d %10.3f %10.3f %10.3f %10.3f %10.1f%s\n", n, load, add, replace, remove,
                    static_cast<double>(fs::file_size(path)) / 1024.0,
                    n == 1000 ? "   (target <= 5 ms per operation)" : "");
    }
    fs::remove_all(dir);
    return 0;
}
