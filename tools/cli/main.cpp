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

#include "core/catalogue/QELSoundEffectCategory.h"
#include "core/catalogue/QELSoundEffectResourceBundle.h"

namespace {

using Args = std::vector<std::string>;

int usage() {
    std::fputs(
        "usage: quellio-cli <command> [options]\n"
        "\n"
        "commands:\n"
        "  catalogue [--json] [--bundle DIR]   list the built-in sound effects in board order\n",
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

int catalogue(Args args) {
    const bool json = takeFlag(args, "--json");
    std::string bundleDir;
    if (!takeOption(args, "--bundle", bundleDir)) return 2;
    if (!args.empty()) {
        std::fprintf(stderr, "quellio-cli: unexpected argument '%s'\n", args.front().c_str());
        return usage();
    }
    if (!bundleDir.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_directory(bundleDir, ec)) {
            std::fprintf(stderr, "quellio-cli: %s is not a directory\n", bundleDir.c_str());
            return 1;
        }
        // The shared bundle reads this on first use, which comes below.
        ::setenv("QUELLIO_SOUND_EFFECTS", bundleDir.c_str(), 1);
    }

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

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::map<std::string, std::function<int(Args)>> commands = {
        {"catalogue", catalogue},
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
