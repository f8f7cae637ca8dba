// Catalogue load against a bare libplist parse of the same files.
//
// Generates a bundle of 200 categories x 50 items in a temporary folder,
// then times (a) our full load, records included, and (b) reading the files
// and parsing them with plain libplist calls. Prints the medians and their
// ratio; the load should cost at most 1.5x the bare parse.
#include <plist/plist.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/catalogue/QELSoundEffectCategory.h"
#include "foundation/Files.h"
#include "foundation/PropertyList.h"

namespace fs = std::filesystem;
using platform::Value;

namespace {

constexpr int kCategories = 200;
constexpr int kItems = 50;
constexpr int kRounds = 31;

std::vector<std::string> makeBundle(const fs::path& dir) {
    std::vector<std::string> paths;
    for (int c = 0; c < kCategories; ++c) {
        Value::Array list;
        for (int i = 0; i < kItems; ++i) {
            list.push_back(Value::Dictionary{{"fileName", "effect_" + std::to_string(i) + ".flac"},
                                             {"title", "音效" + std::to_string(c) + "-" + std::to_string(i)}});
        }
        Value root = Value::Dictionary{{"category", "分类" + std::to_string(c)}, {"index", kCategories - c}, {"list", list}};
        std::string path = (dir / ("Category" + std::to_string(c) + ".plist")).string();
        if (!platform::PropertyList::writeFile(path, root, platform::PropertyList::Format::Xml)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            std::exit(1);
        }
        paths.push_back(path);
    }
    return paths;
}

template <class F>
double medianMs(F&& f) {
    std::vector<double> times;
    for (int r = 0; r < kRounds; ++r) {
        auto start = std::chrono::steady_clock::now();
        f();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::nth_element(times.begin(), times.begin() + kRounds / 2, times.end());
    return times[kRounds / 2];
}

}  // namespace

int main() {
    fs::path dir = fs::temp_directory_path() / ("quellio-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const auto paths = makeBundle(dir);

    size_t sink = 0;
    const double ours = medianMs([&] {
        auto categories = QELSoundEffectCategory::loadAll(paths);
        sink += categories.size();
    });
    const double bare = medianMs([&] {
        for (const auto& p : paths) {
            auto bytes = platform::readFile(p);
            plist_t root = nullptr;
            plist_from_xml(reinterpret_cast<const char*>(bytes->data()), static_cast<uint32_t>(bytes->size()), &root);
            sink += root != nullptr;
            plist_free(root);
        }
    });
    fs::remove_all(dir);

    std::printf("catalogue load, %d categories x %d items, median of %d rounds\n", kCategories, kItems, kRounds);
    std::printf("  ours (records included): %8.2f ms\n", ours);
    std::printf("  bare libplist parse:     %8.2f ms\n", bare);
    std::printf("  ratio:                   %8.2f (target <= 1.50)\n", ours / bare);
    return sink == 0;
}
