// Add, replace and remove on the user's collection at 10, 1,000 and 10,000
// entries. Prints, per operation, what the caller (the UI thread) spends
// (median and worst) and how long until the change is durable (archived,
// written, fsynced, renamed into place by the writer thread), and the same
// for a burst of 100 operations, which is written once. Targets: at most
// 1 ms for the caller at 10,000 entries, durable within 100 ms.
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
#include "foundation/RunLoop.h"

namespace fs = std::filesystem;
using platform::Value;
using Clock = std::chrono::steady_clock;

namespace {

QELSoundEffect::Ref recording(const std::string& name) {
    return QELSoundEffect::customSoundEffectWithName(name, "/" + name + ".caf");
}

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Figures {
    double callerMedian = 0, callerWorst = 0, durableMedian = 0, durableWorst = 0;
};

// Each round: the operation on the caller's thread, then the main loop runs
// (as the program's does) until the writer has made it durable.
Figures measure(QELMySoundEffectStorage& storage, int rounds, const std::function<void(int)>& op) {
    std::vector<double> caller, durable;
    for (int r = 0; r < rounds; ++r) {
        const auto start = Clock::now();
        op(r);
        const auto returned = Clock::now();
        platform::RunLoop::main().runUntil([&] { return !storage.hasUnsavedChanges(); },
                                           std::chrono::seconds(30));
        caller.push_back(ms(returned - start));
        durable.push_back(ms(Clock::now() - returned));
    }
    auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    return {median(caller), *std::max_element(caller.begin(), caller.end()), median(durable),
            *std::max_element(durable.begin(), durable.end())};
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path base = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
    const fs::path dir = base / ("quellio-bench-collection-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "Customcollection.info").string();

    std::printf("collection operations in %s, ms: caller median/worst, durable median/worst\n",
                dir.c_str());
    std::printf("  %8s %9s  %-23s %-23s %-23s %-23s\n", "entries", "load", "add", "replace",
                "remove", "burst of 100 adds");
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

        const auto loadStart = Clock::now();
        QELMySoundEffectStorage storage(path);
        const double load = ms(Clock::now() - loadStart);
        const int rounds = n >= 10000 ? 11 : 31;
        const Figures add = measure(storage, rounds, [&](int r) {
            storage.addSoundEffect(recording("新 " + std::to_string(r)));
        });
        const Figures replace = measure(storage, rounds, [&](int r) {
            storage.replaceSoundEffect(storage.soundEffects()[storage.soundEffects().size() / 2],
                                       recording("换 " + std::to_string(r)));
        });
        const Figures remove = measure(storage, rounds, [&](int) {
            storage.removeSoundEffect(storage.soundEffects().back());
        });
        const Figures burst = measure(storage, 1, [&](int) {
            for (int i = 0; i < 100; ++i)
                storage.addSoundEffect(recording("串 " + std::to_string(i)));
        });
        if (storage.soundEffects().size() != static_cast<size_t>(n) + 100) {
            std::fprintf(stderr, "unexpected collection size %zu\n", storage.soundEffects().size());
            return 1;
        }
        auto cell = [](const Figures& f) {
            static char buf[4][64];
            static int next = 0;
            char* b = buf[next++ % 4];
            std::snprintf(b, 64, "%.3f/%.3f %.1f/%.1f", f.callerMedian, f.callerWorst,
                          f.durableMedian, f.durableWorst);
            return b;
        };
        std::printf("  %8d %9.2f  %-23s %-23s %-23s ", n, load, cell(add), cell(replace),
                    cell(remove));
        std::printf("%-23s\n", cell(burst));
    }
    fs::remove_all(dir);
    return 0;
}
