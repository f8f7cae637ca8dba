// quellio-cli: the program's libraries from the command line. A thin shell:
// each command parses its arguments and calls the library that does the work.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "audio/AudioDevices.h"
#include "audio/AudioEngine.h"
#include "core/catalogue/QELSoundEffectCategory.h"
#include "core/catalogue/QELSoundEffectResourceBundle.h"
#include "core/playback/QELSoundEffectListViewModel.h"
#include "foundation/DebugLog.h"

namespace {

using Args = std::vector<std::string>;

int usage() {
    std::fputs(
        "usage: quellio-cli <command> [options]\n"
        "\n"
        "commands:\n"
        "  catalogue [--json] [--bundle DIR]   list the built-in sound effects in board order\n"
        "  play CATEGORY TITLE [--device NAME] [--bundle DIR]\n"
        "                                      play a built-in sound effect to its end\n"
        "  devices                             list audio output and input devices\n",
        stderr);
    return 2;
}

// Removes `flag` from args; true if it was there.
bool takeFlag(Args& args, const char* flag) {
    for (auto it = args.begin(); it != args.end(); ++it) {
        if (*it == flag) {
            args.erase(it);
            return true;
        }
    }
    return false;
}

// Removes `option VALUE` from args. Returns false on a missing value.
bool takeOption(Args& args, const char* option, std::string& value) {
    for (auto it = args.begin(); it != args.end(); ++it) {
        if (*it != option) continue;
        if (it + 1 == args.end()) {
            std::fprintf(stderr, "quellio-cli: %s needs a value\n", option);
            return false;
        }
        value = *(it + 1);
        args.erase(it, it + 2);
        return true;
    }
    return true;
}

// Makes `dir` (when given) the bundle the shared catalogue bundle opens on
// its first use, which must come after this.
bool selectBundle(const std::string& dir) {
    if (dir.empty()) return true;
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) {
        std::fprintf(stderr, "quellio-cli: %s is not a directory\n", dir.c_str());
        return false;
    }
    ::setenv("QUELLIO_SOUND_EFFECTS", dir.c_str(), 1);
    return true;
}

int catalogue(Args args) {
    const bool json = takeFlag(args, "--json");
    std::string bundleDir;
    if (!takeOption(args, "--bundle", bundleDir)) return 2;
    if (!args.empty()) {
        std::fprintf(stderr, "quellio-cli: unexpected argument '%s'\n", args.front().c_str());
        return usage();
    }
    if (!selectBundle(bundleDir)) return 1;

    const auto categories = QELSoundEffectCategory::loadAll(QELSoundEffectResourceBundle::bundle().plistPaths());
    if (json) {
        nlohmann::ordered_json out = nlohmann::ordered_json::array();
        for (const auto& c : categories) {
            nlohmann::ordered_json items = nlohmann::ordered_json::array();
            for (size_t row = 0; row < c.soundEffects.size(); ++row) {
                const auto& e = *c.soundEffects[row];
                items.push_back({{"row", row},
                                 {"title", e.name()},
                                 {"file", std::filesystem::path(e.resourcePath()).filename().string()},
                                 {"path", e.resourcePath()}});
            }
            out.push_back({{"category", c.name}, {"index", c.index}, {"fileName", c.fileName}, {"items", items}});
        }
        std::cout << out.dump(2) << '\n';
        return 0;
    }
    size_t section = 0;
    for (const auto& c : categories) {
        std::cout << "[" << section++ << "] " << c.name << "  (index " << c.index << ", " << c.fileName
                  << ".plist, " << c.soundEffects.size() << " effects)\n";
        for (size_t row = 0; row < c.soundEffects.size(); ++row) {
            const auto& e = *c.soundEffects[row];
            const std::string path = e.resourcePath();
            std::cout << "  " << row << "\t" << e.name() << "\t"
                      << std::filesystem::path(path).filename().string() << "\t" << path << '\n';
        }
    }
    return 0;
}

int play(Args args) {
    std::string bundleDir;
    std::string device = platform::AudioEngineOptions::fromEnvironment().outputDevice;
    if (!takeOption(args, "--bundle", bundleDir) || !takeOption(args, "--device", device)) return 2;
    if (args.size() != 2) return usage();
    if (!selectBundle(bundleDir)) return 1;

    QELSoundEffectListViewModel board;
    const auto provider = board.dataProvider();
    std::optional<platform::IndexPath> found;
    for (int64_t section = 0; section < provider->numberOfSections() && !found; ++section) {
        if (provider->titleForSection(section) != args[0]) continue;
        for (int64_t row = 0; row < provider->numberOfItemsInSection(section); ++row) {
            if (provider->objectAtIndexPath({section, row})->name() == args[1])
                found = platform::IndexPath{section, row};
        }
    }
    if (!found) {
        std::fprintf(stderr, "quellio-cli: no sound effect '%s' in category '%s'\n",
                     args[1].c_str(), args[0].c_str());
        return 1;
    }

    platform::AudioEngineOptions options;
    options.outputDevice = device;
    platform::AudioError error;
    if (!platform::AudioEngine::shared().start(options, &error)) {
        std::fprintf(stderr, "quellio-cli: %s\n", error.message.c_str());
        return 1;
    }
    bool stopped = false;
    board.setPlayStopped(
        [&](QELSoundEffectPlayController&, const platform::IndexPath&) { stopped = true; });
    platform::setDebugErrorSink([&](const platform::DebugErrorEntry& e) {
        std::fprintf(stderr, "quellio-cli: %s\n", e.message.c_str());
    });
    board.playOrStopAtIndexPath(*found);
    if (!board.playingEffect()) {
        std::fprintf(stderr, "quellio-cli: could not play %s\n",
                     provider->objectAtIndexPath(*found)->resourcePath().c_str());
        return 1;
    }
    const double seconds = board.player()->duration();
    std::cout << "playing " << args[0] << "/" << args[1] << " (" << seconds << " s) on "
              << platform::AudioEngine::shared().outputName() << '\n';
    const auto limit = std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000) + 5000);
    if (!platform::RunLoop::main().runUntil([&] { return stopped; }, limit)) {
        std::fprintf(stderr, "quellio-cli: the sound did not end within %lld ms\n",
                     static_cast<long long>(limit.count()));
        return 1;
    }
    platform::AudioEngine::shared().stop();  // lets the last buffers play out
    return 0;
}

int devices(Args args) {
    if (!args.empty()) return usage();
    platform::AudioError error;
    const auto list = platform::listAudioDevices(&error);
    if (!error.message.empty()) {
        std::fprintf(stderr, "quellio-cli: %s\n", error.message.c_str());
        return 1;
    }
    if (list.empty()) std::cout << "no audio devices\n";
    for (const auto& d : list) {
        std::cout << (d.isDefaultOutput ? "*" : " ") << (d.isDefaultInput ? ">" : " ") << " "
                  << d.qualifiedName() << "\t(out " << d.maxOutputChannels << ", in "
                  << d.maxInputChannels << ", " << d.defaultSampleRate << " Hz)\n";
    }
    std::cout << "* default output, > default input; choose an output with --device NAME or "
                 "QUELLIO_OUTPUT_DEVICE\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::map<std::string, std::function<int(Args)>> commands = {
        {"catalogue", catalogue},
        {"play", play},
        {"devices", devices},
    };
    const std::string name = argv[1];
    if (name == "-h" || name == "--help" || name == "help") {
        usage();
        return 0;
    }
    auto it = commands.find(name);
    if (it == commands.end()) {
        std::fprintf(stderr, "quellio-cli: unknown command '%s'\n", name.c_str());
        return usage();
    }
    return it->second(Args(argv + 2, argv + argc));
}
