// quellio-cli: the program's libraries from the command line. A thin shell:
// each command parses its arguments and calls the library that does the work.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "RunningProgram.h"
#include "audio/AudioAssetReader.h"
#include "audio/AudioDevices.h"
#include "audio/AudioEngine.h"
#include "audio/AudioRecorder.h"
#include "audio/Loudness.h"
#include "audio/PulseConnection.h"
#include "audio/VirtualDevices.h"
#include "core/catalogue/QELSoundEffectCategory.h"
#include "core/catalogue/QELSoundEffectResourceBundle.h"
#include "core/collection/QELMySoundEffectStorage.h"
#include "core/maker/QELSoundEffectEditType.h"
#include "core/maker/QELSoundEffectEditor.h"
#include "core/maker/QELSoundEffectImporter.h"
#include "core/playback/QELSoundEffectListViewModel.h"
#include "core/remote/QELHotkeys.h"
#include "core/settings/QELAudioSettings.h"
#include "foundation/DebugLog.h"
#include "foundation/Files.h"
#include "foundation/TerminationSignals.h"

namespace {

using Args = std::vector<std::string>;

// The help text; --help prints it to stdout, a usage error to stderr.
void printUsage(std::FILE* to) {
    std::fputs(
        "Usage: quellio-cli COMMAND [OPTION]...\n"
        "The sound-effect board Quellio (声匣) from the command line.\n"
        "\n"
        "commands:\n"
        "  catalogue [--json] [--bundle DIR]   list the built-in sound effects in board order\n"
        "  collection [--json] [--bundle DIR]  list the user's collection\n"
        "  collection add CATEGORY TITLE [--bundle DIR]\n"
        "                                      add a built-in sound effect to the collection\n"
        "  collection remove ROW               remove the entry at ROW from the collection\n"
        "  collection import FILE... [--title T] [--no-normalise] [--no-trim] [--target LUFS]\n"
        "                    [--replace]       import sound files as recordings (through the\n"
        "                                      running program when there is one)\n"
        "  play CATEGORY TITLE [--device NAME] [--bundle DIR]\n"
        "                                      play a built-in sound effect: in the running\n"
        "                                      program when there is one (a second play\n"
        "                                      stops it), else here to its end\n"
        "  play --favorite TITLE               play a favourite in the running program\n"
        "  stop                                stop what the running program plays\n"
        "  hotkey set COMBO CATEGORY TITLE | set COMBO --favorite TITLE | set COMBO stop-all\n"
        "  hotkey list | hotkey clear COMBO    global hotkeys (COMBO like ctrl+alt+1), in the\n"
        "                                      running program or the stored settings\n"
        "  list                                the board (category, title), from the running\n"
        "                                      program or the catalogue\n"
        "  devices                             list the sound server's and PortAudio's devices\n"
        "  route status|on|off                 show the stored audio routing, or switch the\n"
        "                                      virtual microphone on or off at the next start\n"
        "  render VOICE IN OUT                 render IN (44.1 kHz mono WAV) through VOICE\n"
        "                                      (Uncle, Loli, Fast, Slow, Origin) into OUT\n"
        "  record SECONDS OUT [--device NAME]  record from the microphone into OUT (WAV)\n"
        "                                      with a level meter; NAME or\n"
        "                                      QUELLIO_INPUT_DEVICE picks the input\n"
        "  loudness FILE...                    integrated loudness (or, for sounds too short\n"
        "                                      for one, the loudest momentary value),\n"
        "                                      loudness range and true peak of each FILE\n"
        "  normalise IN OUT [--target LUFS]    bring IN to LUFS (default -16) with true\n"
        "                                      peaks limited to -1 dBTP; OUT is a 32-bit\n"
        "                                      float WAV at IN's rate and channels\n"
        "\n"
        "options:\n"
        "  -h, --help                          show this help and exit\n"
        "  -V, --version                       show the version and exit\n"
        "\n"
        "Exit status:\n"
        "  0  the command did what it was asked\n"
        "  1  it failed (no such effect, unreadable catalogue, a file not saved,\n"
        "     a recording that lost samples, the program refused)\n"
        "  2  the command line was not understood (usage error)\n",
        to);
}

int usage() {
    printUsage(stderr);
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

    const auto categories =
        QELSoundEffectCategory::loadAll(QELSoundEffectResourceBundle::bundle().plistPaths());
    if (json) {
        nlohmann::ordered_json out = nlohmann::ordered_json::array();
        for (const auto& c : categories) {
            nlohmann::ordered_json items = nlohmann::ordered_json::array();
            for (size_t row = 0; row < c.soundEffects.size(); ++row) {
                const auto& e = *c.soundEffects[row];
                items.push_back(
                    {{"row", row},
                     {"title", e.name()},
                     {"file", std::filesystem::path(e.resourcePath()).filename().string()},
                     {"path", e.resourcePath()},
                     {"available", e.isAvailable()}});
            }
            out.push_back({{"category", c.name},
                           {"index", c.index},
                           {"fileName", c.fileName},
                           {"items", items}});
        }
        std::cout << out.dump(2) << '\n';
        return 0;
    }
    size_t section = 0;
    for (const auto& c : categories) {
        std::cout << "[" << section++ << "] " << c.name << "  (index " << c.index << ", "
                  << c.fileName << ".plist, " << c.soundEffects.size() << " effects)\n";
        for (size_t row = 0; row < c.soundEffects.size(); ++row) {
            const auto& e = *c.soundEffects[row];
            const std::string path = e.resourcePath();
            std::cout << "  " << row << "\t" << e.name() << "\t"
                      << std::filesystem::path(path).filename().string() << "\t" << path
                      << (e.isAvailable() ? "" : "\t(sound file missing)") << '\n';
        }
    }
    return 0;
}

// "2024-05-01T12:00:00Z" for a platform date.
std::string isoTime(platform::Date date) {
    const auto t = static_cast<std::time_t>(std::floor(date.unixSeconds()));
    std::tm tm{};
    ::gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

int collectionList(const QELMySoundEffectStorage& storage, bool json) {
    const auto& list = storage.soundEffects();
    if (json) {
        nlohmann::ordered_json out = nlohmann::ordered_json::array();
        for (size_t row = 0; row < list.size(); ++row) {
            const auto& e = *list[row];
            out.push_back({{"row", row},
                           {"title", e.name()},
                           {"category", e.category()},
                           {"userCustom", e.isUserCustom()},
                           {"time", e.time().secondsSinceReferenceDate},
                           {"added", isoTime(e.time())},
                           {"path", e.resourcePath()},
                           {"available", e.isAvailable()}});
        }
        std::cout << out.dump(2) << '\n';
        return 0;
    }
    std::cout << QELMySoundEffectStorage::collectionFilePath() << ": " << list.size()
              << " entries\n";
    for (size_t row = 0; row < list.size(); ++row) {
        const auto& e = *list[row];
        std::cout << "  " << row << "\t" << e.name() << "\t" << e.category() << "\t"
                  << isoTime(e.time()) << "\t" << e.resourcePath()
                  << (e.isAvailable() ? "" : "\t(sound file missing)") << '\n';
    }
    return 0;
}

int collectionAdd(QELMySoundEffectStorage& storage, const std::string& category,
                  const std::string& title) {
    QELSoundEffect::Ref effect;
    for (const auto& c :
         QELSoundEffectCategory::loadAll(QELSoundEffectResourceBundle::bundle().plistPaths())) {
        if (c.name != category) continue;
        for (const auto& e : c.soundEffects) {
            if (e->name() == title) effect = e;
        }
    }
    if (!effect) {
        std::fprintf(stderr, "quellio-cli: no sound effect '%s' in category '%s'\n", title.c_str(),
                     category.c_str());
        return 1;
    }
    const size_t before = storage.soundEffects().size();
    storage.addSoundEffect(effect);  // its result says nothing; the list does
    if (storage.soundEffects().size() == before) {
        std::fprintf(stderr, "quellio-cli: '%s' is already in the collection\n", title.c_str());
        return 1;
    }
    // Written under the collection's lock, on top of what a running program
    // or another CLI saved meanwhile, which may move the row.
    const auto entry = storage.soundEffects().back();
    if (!storage.flush()) return 1;
    const auto& list = storage.soundEffects();
    const size_t row =
        static_cast<size_t>(std::find(list.begin(), list.end(), entry) - list.begin());
    std::cout << "added row " << row << ": " << title << '\n';
    return 0;
}

int collectionRemove(QELMySoundEffectStorage& storage, const std::string& rowText) {
    const auto& list = storage.soundEffects();
    size_t row = 0;
    auto [end, ec] = std::from_chars(rowText.data(), rowText.data() + rowText.size(), row);
    if (ec != std::errc() || end != rowText.data() + rowText.size() || row >= list.size()) {
        std::fprintf(stderr, "quellio-cli: no row '%s' in a collection of %zu entries\n",
                     rowText.c_str(), list.size());
        return 1;
    }
    const auto entry = list[row];
    storage.removeSoundEffect(entry);
    if (!storage.flush()) return 1;
    std::cout << "removed row " << row << ": " << entry->name() << '\n';
    return 0;
}

constexpr const char* kNameTakenHint = " (--replace replaces it, --title names the import)";

// Imports FILE... into the collection: through the running program when
// there is one, else here under the collection's lock.
int collectionImport(Args args) {
    QELImportOptions options = QELImportOptions::fromSettings(QELAudioSettings());
    std::string target;
    if (!takeOption(args, "--title", options.title) || !takeOption(args, "--target", target))
        return 2;
    if (takeFlag(args, "--no-normalise")) options.normalise = false;
    options.trimSilence = !takeFlag(args, "--no-trim");
    options.replace = takeFlag(args, "--replace");
    if (!target.empty()) {
        auto [end, ec] = std::from_chars(target.data(), target.data() + target.size(),
                                         options.loudnessTarget);
        if (ec != std::errc() || end != target.data() + target.size() ||
            options.loudnessTarget < platform::kMinLoudnessTarget ||
            options.loudnessTarget > platform::kMaxLoudnessTarget) {
            std::fprintf(stderr, "quellio-cli: --target takes a loudness from %g to %g LUFS\n",
                         platform::kMinLoudnessTarget, platform::kMaxLoudnessTarget);
            return 2;
        }
    }
    if (args.empty()) return usage();
    if (!options.title.empty() && args.size() > 1) {
        std::fputs("quellio-cli: --title names one file only\n", stderr);
        return 2;
    }
    for (const auto& a : args) {
        if (a.starts_with("--")) {
            std::fprintf(stderr, "quellio-cli: unknown option '%s'\n", a.c_str());
            return usage();
        }
    }
    int rc = 0;
    auto report = [&](const std::string& path, const std::string& title, const std::string& note) {
        std::cout << "imported " << path << " as " << title << '\n';
        if (!note.empty()) std::fprintf(stderr, "quellio-cli: %s\n", note.c_str());
    };
    RunningProgram program;
    if (program.reachable()) {
        for (const auto& path : args) {
            std::string error;
            const auto imported = program.importFile(std::filesystem::absolute(path).string(),
                                                     options.title, options.normalise,
                                                     options.trimSilence, options.loudnessTarget,
                                                     options.replace, error);
            if (imported) {
                report(path, imported->title, imported->note);
            } else {
                std::fprintf(stderr, "quellio-cli: %s%s\n", error.c_str(),
                             error.find(".NameTaken") != std::string::npos ? kNameTakenHint : "");
                rc = 1;
            }
        }
        return rc;
    }

    std::string error;
    if (!platform::createDirectories(kUserCollectionFileBasePath(), &error)) {
        std::fprintf(stderr, "quellio-cli: %s\n", error.c_str());
        return 1;
    }
    // Refusals are told below in the importer's words; a failed save of the
    // collection is told with the last error logged.
    std::string lastError;
    platform::setDebugErrorSink([&](const platform::DebugErrorEntry& e) { lastError = e.message; });
    {
        QELMySoundEffectStorage storage(QELMySoundEffectStorage::collectionFilePath());
        QELSoundEffectImporter importer({kUserCollectionFileBasePath(), &storage});
        for (const auto& path : args) {
            std::optional<QELImportResult> result;
            importer.importFile(path, options, [&](const QELImportResult& r) { result = r; });
            platform::RunLoop::main().runUntil([&] { return result.has_value(); },
                                               std::chrono::hours(1));
            // Saved under the collection's lock, on top of what another
            // process saved meanwhile.
            if (result && result->imported() && storage.flush()) {
                report(path, result->title, result->message);
            } else {
                std::fprintf(stderr, "quellio-cli: %s%s\n",
                             result && !result->imported() ? result->message.c_str()
                                                           : lastError.c_str(),
                             result && result->code == QELImportResult::Code::NameTaken
                                 ? kNameTakenHint
                                 : "");
                rc = 1;
            }
        }
    }
    platform::setDebugErrorSink({});
    return rc;
}

int collection(Args args) {
    std::string bundleDir;
    if (!takeOption(args, "--bundle", bundleDir)) return 2;
    if (!selectBundle(bundleDir)) return 1;
    if (!args.empty() && args.front() == "import")
        return collectionImport(Args(args.begin() + 1, args.end()));
    const bool json = takeFlag(args, "--json");
    const std::string sub = args.empty() ? "" : args.front();
    if (!args.empty()) args.erase(args.begin());
    const size_t wanted = sub == "add" ? 2 : sub == "remove" ? 1 : 0;
    if ((!sub.empty() && wanted == 0) || args.size() != wanted) return usage();

    // The program creates the collection folders at start; so does a change
    // made here. Listing leaves the disk as it is.
    std::string error;
    if (!sub.empty() && !platform::createDirectories(kUserCollectionFileBasePath(), &error)) {
        std::fprintf(stderr, "quellio-cli: %s\n", error.c_str());
        return 1;
    }
    // A failed save reaches only the debug error log; make it fail the command.
    bool failed = false;
    platform::setDebugErrorSink([&](const platform::DebugErrorEntry& e) {
        std::fprintf(stderr, "quellio-cli: %s\n", e.message.c_str());
        failed = true;
    });
    int rc = 0;
    {
        QELMySoundEffectStorage storage(QELMySoundEffectStorage::collectionFilePath());
        rc = sub == "add"      ? collectionAdd(storage, args[0], args[1])
             : sub == "remove" ? collectionRemove(storage, args[0])
                               : collectionList(storage, json);
    }  // what is left is written here, before the result is told
    platform::setDebugErrorSink({});
    return rc == 0 && failed ? 1 : rc;
}

// Runs the main loop until `done` or `deadline`, firing its timers on time:
// runUntil() alone wakes only for posted tasks.
bool runWithTimers(const std::function<bool()>& done,
                   std::chrono::steady_clock::time_point deadline) {
    auto& loop = platform::RunLoop::main();
    for (;;) {
        loop.runUntilIdle();
        if (done()) return true;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return false;
        auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        if (const auto due = loop.nextTimerDeadline()) {
            wait = std::min(
                wait, std::chrono::ceil<std::chrono::milliseconds>(*due - loop.clock().now()));
        }
        loop.runUntil(done, std::max(wait, std::chrono::milliseconds(1)));
    }
}

// Tells what the running program answered; 1 on a refusal.
int answered(const std::optional<bool>& started, const std::string& what,
             const std::string& error) {
    if (!started) {
        std::fprintf(stderr, "quellio-cli: %s\n", error.c_str());
        return 1;
    }
    std::cout << (*started ? "playing " : "stopped ") << what << " in the running program\n";
    return 0;
}

int play(Args args) {
    std::string bundleDir;
    std::string favorite;
    std::string device = platform::AudioEngineOptions::fromEnvironment().outputDevice;
    const bool deviceGiven = std::find(args.begin(), args.end(), "--device") != args.end();
    if (!takeOption(args, "--bundle", bundleDir) || !takeOption(args, "--device", device) ||
        !takeOption(args, "--favorite", favorite))
        return 2;
    if (favorite.empty() ? args.size() != 2 : !args.empty()) return usage();
    // Another bundle or a device of its own plays here; otherwise the
    // running program plays it, lit on its board, one sound at a time.
    if (bundleDir.empty() && !deviceGiven) {
        RunningProgram program;
        std::string error;
        if (program.reachable()) {
            if (!favorite.empty())
                return answered(program.playFavorite(favorite, error), favorite, error);
            return answered(program.play(args[0], args[1], error), args[0] + "/" + args[1],
                            error);
        }
        std::fputs("quellio-cli: no running program is reachable; playing here\n", stderr);
    }
    if (!favorite.empty()) {
        std::fputs("quellio-cli: no running program is reachable to play a favourite\n", stderr);
        return 1;
    }
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

    auto options = platform::AudioEngineOptions::fromEnvironment();
    options.outputDevice = device;
    platform::AudioError error;
    if (const char* backend = std::getenv("QUELLIO_AUDIO_BACKEND");
        backend && std::string(backend) == "null") {
        platform::AudioEngine::shared().startNull();
    } else if (!platform::AudioEngine::shared().start(options, &error)) {
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
    // Timers too: the null output plays as the loop's clock moves.
    if (!runWithTimers([&] { return stopped; }, std::chrono::steady_clock::now() + limit)) {
        std::fprintf(stderr, "quellio-cli: the sound did not end within %lld ms\n",
                     static_cast<long long>(limit.count()));
        return 1;
    }
    platform::AudioEngine::shared().stop();  // lets the last buffers play out
    return 0;
}

int stop(Args args) {
    if (!args.empty()) return usage();
    RunningProgram program;
    std::string error;
    if (!program.reachable()) {
        std::cout << "no running program is reachable: nothing plays\n";
        return 0;
    }
    if (!program.stop(error)) {
        std::fprintf(stderr, "quellio-cli: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

int hotkey(Args args) {
    if (args.empty()) return usage();
    const std::string sub = args[0];
    args.erase(args.begin());
    std::string favorite;
    if (!takeOption(args, "--favorite", favorite)) return 2;
    RunningProgram program;
    std::string error;
    if (sub == "list" && args.empty() && favorite.empty()) {
        std::vector<std::vector<std::string>> rows;
        if (program.reachable()) {
            auto answer = program.listHotkeys(error);
            if (!answer) {
                std::fprintf(stderr, "quellio-cli: %s\n", error.c_str());
                return 1;
            }
            rows = std::move(*answer);
        } else {
            for (const QELHotkey& h : QELHotkeys().all())
                rows.push_back({h.combo.text(), h.describe(), "stored"});
        }
        for (const auto& row : rows) std::cout << row[0] << '\t' << row[1] << '\t' << row[2] << '\n';
        return 0;
    }
    if (sub == "clear" && args.size() == 1 && favorite.empty()) {
        if (program.reachable()) {
            auto cleared = program.callWithStrings("ClearHotkey", {args[0]}, error);
            if (!cleared) std::fprintf(stderr, "quellio-cli: %s\n", error.c_str());
            return cleared && *cleared ? 0 : 1;
        }
        auto combo = QELKeyCombo::parse(args[0]);
        return combo && QELHotkeys().clear(*combo) ? 0 : 1;
    }
    if (sub != "set" || args.empty()) return usage();
    const std::string combo = args[0];
    std::vector<std::string> call;
    if (!favorite.empty() && args.size() == 1) call = {combo, "favorite", "", favorite};
    else if (args.size() == 2 && args[1] == "stop-all") call = {combo, "stop-all", "", ""};
    else if (args.size() == 3) call = {combo, "play", args[1], args[2]};
    else return usage();
    if (program.reachable()) {
        auto set = program.callWithStrings("SetHotkey", call, error);
        if (!set) std::fprintf(stderr, "quellio-cli: %s\n", error.c_str());
        return set && *set ? 0 : 1;
    }
    auto parsed = QELKeyCombo::parse(combo);
    if (!parsed) {
        std::fprintf(stderr, "quellio-cli: not a key combination: %s\n", combo.c_str());
        return 1;
    }
    QELHotkey hotkey{*parsed, QELHotkey::Action::StopAll, call[2], call[3]};
    if (call[1] == "play") hotkey.action = QELHotkey::Action::Play;
    if (call[1] == "favorite") hotkey.action = QELHotkey::Action::PlayFavorite;
    // Refused as the running program refuses it: a name nothing answers to
    // would be a key that never does anything.
    QELRemoteCommands commands(std::make_shared<QELSoundEffectListViewModel>(),
                               std::make_shared<QELMySoundEffectsViewModel>());
    QELRemoteError refusal;
    if (!QELHotkeys::check(hotkey, commands, &refusal)) {
        std::fprintf(stderr, "quellio-cli: %s: %s\n", refusal.name(), refusal.message.c_str());
        return 1;
    }
    QELHotkeys().set(hotkey);
    return 0;
}

int list(Args args) {
    if (!args.empty()) return usage();
    RunningProgram program;
    std::string error;
    std::vector<std::pair<std::string, std::string>> items;
    if (program.reachable()) {
        auto answer = program.list(error);
        if (!answer) {
            std::fprintf(stderr, "quellio-cli: %s\n", error.c_str());
            return 1;
        }
        items = std::move(*answer);
    } else {
        const auto provider = QELSoundEffectListViewModel().dataProvider();
        for (int64_t section = 0; section < provider->numberOfSections(); ++section)
            for (int64_t row = 0; row < provider->numberOfItemsInSection(section); ++row) {
                auto effect = provider->objectAtIndexPath({section, row});
                items.emplace_back(effect->category(), effect->name());
            }
    }
    for (const auto& [category, title] : items) std::cout << category << '\t' << title << '\n';
    return 0;
}

// Prints the library's debug errors, which are how its failures are told.
void printDebugErrors() {
    platform::setDebugErrorSink([](const platform::DebugErrorEntry& e) {
        std::fprintf(stderr, "quellio-cli: %s\n", e.message.c_str());
    });
}

int render(Args args) {
    if (args.size() != 3) return usage();
    const auto type = editTypeFromRawValue(args[0]);
    if (!type) {
        std::fprintf(stderr,
                     "quellio-cli: unknown voice '%s' (Uncle, Loli, Fast, Slow or Origin)\n",
                     args[0].c_str());
        return 1;
    }
    const std::string& in = args[1];
    const std::string& out = args[2];
    // Refused before the work: a device or folder is never replaced.
    if (std::string error; !platform::resolveWriteTarget(out, &error)) {
        std::fprintf(stderr, "quellio-cli: %s\n", error.c_str());
        return 1;
    }
    // The renderer writes a 44.1 kHz mono header whatever it reads, so any
    // other source would come out at the wrong speed; refuse it instead.
    platform::AudioError error;
    auto probe = platform::AudioAssetReader::open(in, &error);
    if (!probe) {
        std::fprintf(stderr, "quellio-cli: cannot read %s: %s\n", in.c_str(),
                     error.message.c_str());
        return 1;
    }
    probe->startReading();
    if (const auto first = probe->copyNextSampleBuffer();
        first &&
        (first->description.sampleRate != 44100 || first->description.channelsPerFrame != 1)) {
        std::fprintf(stderr,
                     "quellio-cli: %s is %g Hz with %u channels; render takes 44.1 kHz mono "
                     "(convert with: sox IN -r 44100 -c 1 -b 16 IN.wav)\n",
                     in.c_str(), first->description.sampleRate,
                     first->description.channelsPerFrame);
        return 1;
    }
    probe.reset();
    // Opened here rather than by the editor, which would first delete OUT
    // even when IN turns out unreadable.
    auto reader = platform::AudioAssetReader::open(in, &error);
    if (!reader) {
        std::fprintf(stderr, "quellio-cli: cannot read %s: %s\n", in.c_str(),
                     error.message.c_str());
        return 1;
    }
    printDebugErrors();
    auto editor = QELSoundEffectEditor::initWithAudioURL(in, out, std::move(reader));
    editor->setEditType(*type);
    bool done = false;
    const auto started = std::chrono::steady_clock::now();
    editor->editAsset([&](QELSoundEffectEditor&) { done = true; });
    if (!platform::RunLoop::main().runUntil([&] { return done; }, std::chrono::minutes(10))) {
        std::fprintf(stderr, "quellio-cli: rendering did not end within 10 minutes\n");
        return 1;
    }
    platform::setDebugErrorSink({});
    if (!editor->succeeded()) {
        std::fprintf(stderr, "quellio-cli: rendering %s failed\n", in.c_str());
        return 1;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    std::cout << "rendered " << rawValue(*type) << " " << in << " -> " << out << " in "
              << took.count() << " s\n";
    return 0;
}

// One line of meter: a 40-column bar over -60..0 dBFS and the figure.
// IN decoded at its own rate, so the peaks measured are its own.
platform::PcmBufferRef decodeAsIs(const std::string& path) {
    std::error_code ec;
    const char* refusal = std::filesystem::is_directory(path, ec) ? "is a directory"
                          : std::filesystem::is_regular_file(path, ec) &&
                                  std::filesystem::file_size(path, ec) == 0
                              ? "is empty"
                              : nullptr;
    if (refusal) {
        std::fprintf(stderr, "quellio-cli: cannot read %s: it %s\n", path.c_str(), refusal);
        return nullptr;
    }
    platform::AudioError error;
    auto probe = platform::AudioAssetReader::open(path, &error);
    std::optional<platform::AudioSampleBlock> first;
    if (probe && probe->startReading()) first = probe->copyNextSampleBuffer();
    platform::PcmBufferRef pcm;
    if (first) pcm = platform::decodeAudioFile(path, first->description.sampleRate, &error);
    else if (probe) error.message = path + ": no samples";
    if (!pcm)
        std::fprintf(stderr, "quellio-cli: cannot read %s: %s\n", path.c_str(),
                     error.message.c_str());
    return pcm;
}

int loudness(Args args) {
    if (args.empty()) return usage();
    int rc = 0;
    for (const std::string& path : args) {
        const auto pcm = decodeAsIs(path);
        if (!pcm) {
            rc = 1;
            continue;
        }
        const platform::LoudnessMeasure m = platform::measureLoudness(*pcm);
        if (!m.measurable)
            std::printf("%s: silent (nothing above -70 LUFS)\n", path.c_str());
        else
            std::printf("%s: %s %.1f LUFS, range %.1f LU, true peak %.1f dBTP\n", path.c_str(),
                        m.integrated ? "integrated" : "max momentary (too short for integrated)",
                        m.loudness, m.loudnessRange, m.truePeak);
    }
    return rc;
}

// A 32-bit float WAV: lossless, so a later conversion rounds only once.
std::vector<uint8_t> floatWAV(const platform::PcmBuffer& pcm) {
    std::vector<uint8_t> out;
    auto put = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    auto tag = [&](const char* t) { out.insert(out.end(), t, t + 4); };
    const auto dataBytes = static_cast<uint32_t>(pcm.samples.size() * sizeof(float));
    const auto channels = static_cast<uint32_t>(pcm.channels);
    const auto rate = static_cast<uint32_t>(std::lround(pcm.sampleRate));
    tag("RIFF");
    put(4 + 26 + 12 + 8 + dataBytes, 4);
    tag("WAVE");
    tag("fmt ");
    put(18, 4);
    put(3, 2);  // IEEE float
    put(channels, 2);
    put(rate, 4);
    put(rate * channels * 4, 4);
    put(channels * 4, 2);
    put(32, 2);
    put(0, 2);
    tag("fact");
    put(4, 4);
    put(static_cast<uint32_t>(pcm.frames()), 4);
    tag("data");
    put(dataBytes, 4);
    for (float f : pcm.samples) {
        uint32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        put(bits, 4);
    }
    return out;
}

int normalise(Args args) {
    std::string targetText;
    if (!takeOption(args, "--target", targetText)) return 2;
    if (args.size() != 2) return usage();
    double target = platform::kDefaultLoudnessTarget;
    if (!targetText.empty()) {
        const auto [end, ec] =
            std::from_chars(targetText.data(), targetText.data() + targetText.size(), target);
        if (ec != std::errc() || end != targetText.data() + targetText.size() ||
            target < platform::kMinLoudnessTarget || target > platform::kMaxLoudnessTarget) {
            std::fprintf(stderr, "quellio-cli: --target takes LUFS from %g to %g, not '%s'\n",
                         platform::kMinLoudnessTarget, platform::kMaxLoudnessTarget,
                         targetText.c_str());
            return 1;
        }
    }
    const std::string& in = args[0];
    const std::string& out = args[1];
    if (std::string error; !platform::resolveWriteTarget(out, &error)) {
        std::fprintf(stderr, "quellio-cli: %s\n", error.c_str());
        return 1;
    }
    const auto decoded = decodeAsIs(in);
    if (!decoded) return 1;
    platform::PcmBuffer pcm = *decoded;
    const platform::LoudnessMeasure before = platform::normaliseLoudness(pcm, target);
    if (std::string error; !platform::writeFileAtomically(out, floatWAV(pcm), &error)) {
        std::fprintf(stderr, "quellio-cli: cannot write %s: %s\n", out.c_str(), error.c_str());
        return 1;
    }
    if (!before.measurable)
        std::printf("%s is silent: written unchanged\n", in.c_str());
    else
        std::printf("%s: %.1f -> %.1f LUFS%s\n", in.c_str(), before.loudness, target,
                    before.integrated ? "" : " (max momentary)");
    return 0;
}

void drawMeter(float decibels) {
    constexpr int kWidth = 40;
    const float fraction = std::clamp((decibels + 60.0f) / 60.0f, 0.0f, 1.0f);
    const int filled = static_cast<int>(std::lround(fraction * kWidth));
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kWidth - filled), '-');
    std::fprintf(stderr, "\r[%s] %7.1f dBFS", bar.c_str(), static_cast<double>(decibels));
    std::fflush(stderr);
}

// Writes the first `frames` of the take to `out`: the input comes in
// buffers, so the take runs a little past the length asked for.
bool copyFrames(const std::string& take, const std::string& out, uint64_t frames) {
    platform::AudioError error;
    auto reader = platform::AudioAssetReader::open(take, &error);
    if (!reader) {
        std::fprintf(stderr, "quellio-cli: cannot read the take: %s\n", error.message.c_str());
        return false;
    }
    const size_t want = static_cast<size_t>(frames) * 2;  // mono 16-bit
    std::vector<uint8_t> bytes(44);
    reader->startReading();
    while (bytes.size() - 44 < want) {
        const auto block = reader->copyNextSampleBuffer();
        if (!block) break;
        bytes.insert(bytes.end(), block->bytes.begin(),
                     block->bytes.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                block->bytes.size(), want - (bytes.size() - 44))));
    }
    if (reader->status() == platform::AudioAssetReader::Status::Failed) {
        std::fprintf(stderr, "quellio-cli: reading the take: %s\n", reader->error().c_str());
        return false;
    }
    const auto header = makeWAVHeader(static_cast<uint32_t>(bytes.size() - 44), 1, 44100, 16);
    std::copy(header.begin(), header.end(), bytes.begin());
    std::string writeError;
    if (!platform::writeFileAtomically(out, bytes, &writeError)) {
        std::fprintf(stderr, "quellio-cli: %s\n", writeError.c_str());
        return false;
    }
    return true;
}

int record(Args args) {
    auto options = platform::AudioEngineOptions::fromEnvironment();
    if (!takeOption(args, "--device", options.inputDevice)) return 2;
    if (args.size() != 2) return usage();
    char* end = nullptr;
    const double seconds = std::strtod(args[0].c_str(), &end);
    if (end == args[0].c_str() || *end != '\0' || !(seconds > 0) || seconds > 24 * 3600) {
        std::fprintf(stderr, "quellio-cli: '%s' is not a number of seconds\n", args[0].c_str());
        return 1;
    }
    const std::filesystem::path out = args[1];

    auto& engine = platform::AudioEngine::shared();
    platform::AudioError error;
    if (!engine.start(options, &error)) {
        std::fprintf(stderr, "quellio-cli: %s\n", error.message.c_str());
        return 1;
    }
    if (!engine.hasInputDevice()) {
        if (options.inputDevice.empty())
            std::fprintf(stderr, "quellio-cli: no input device to record from\n");
        else
            std::fprintf(stderr, "quellio-cli: no input device '%s'\n",
                         options.inputDevice.c_str());
        return 1;
    }
    // The take goes beside OUT, so a missing folder fails before recording.
    const auto take = (out.parent_path().empty() ? std::filesystem::path(".") : out.parent_path()) /
                      ("." + out.filename().string() + ".take.wav");
    auto recorder = platform::AudioRecorder::create(engine, take.string(), {}, &error);
    if (!recorder) {
        std::fprintf(stderr, "quellio-cli: %s\n", error.message.c_str());
        return 1;
    }
    recorder->setMeteringEnabled(true);
    if (!recorder->prepareToRecord() || !recorder->record()) {
        std::fprintf(stderr, "quellio-cli: could not start recording from the input\n");
        std::error_code ec;
        std::filesystem::remove(take, ec);
        return 1;
    }
    // ^C or the session ending stops the recording early, keeping the take.
    platform::TerminationSignals::install();
    auto frames = static_cast<uint64_t>(std::llround(seconds * engine.sampleRate()));
    // A timer may still be queued when this returns; the flag keeps it off
    // the gone locals.
    auto metering = std::make_shared<bool>(true);
    std::function<void()> meter = [&, metering] {
        if (!*metering) return;
        recorder->updateMeters();
        drawMeter(recorder->averagePowerForChannel(0));
        platform::RunLoop::main().postAfter(std::chrono::milliseconds(50), meter);
    };
    meter();
    // The input, not the clock, says when SECONDS of sound are in. The
    // deadline only catches samples that stop reaching the file (an input
    // gone quiet, a disk that takes no more): while they still arrive,
    // however slowly on a busy machine, it moves on.
    const auto stall = std::chrono::seconds(5);
    const auto start = std::chrono::steady_clock::now();
    const auto patience = std::chrono::milliseconds(std::llround(seconds * 1000)) + stall;
    auto lastProgress = start;
    uint64_t seen = 0;
    bool complete = false;
    for (;;) {
        complete = runWithTimers(
            [&] {
                return recorder->framesWritten() >= frames ||
                       platform::TerminationSignals::received();
            },
            std::chrono::steady_clock::now() + std::chrono::seconds(1));
        if (complete) break;
        const auto now = std::chrono::steady_clock::now();
        if (recorder->framesWritten() != seen) {
            seen = recorder->framesWritten();
            lastProgress = now;
        }
        if (now - start >= patience && now - lastProgress >= stall) break;
    }
    const bool interrupted = platform::TerminationSignals::take() != 0;
    *metering = false;
    recorder->updateMeters();
    drawMeter(recorder->averagePowerForChannel(0));
    std::fputc('\n', stderr);
    recorder->stop();
    engine.stop();
    // Cut short by a signal or by an input that stopped, the take keeps
    // what came in.
    frames = std::min(frames, recorder->framesWritten());
    std::error_code ec;
    const uint64_t lost = recorder->droppedSamples();
    const bool copied = copyFrames(take.string(), out.string(), frames);
    std::filesystem::remove(take, ec);
    if (!copied) return 1;
    if (!complete && !interrupted) {
        std::fprintf(stderr, "quellio-cli: the input delivered only %.2f s of %.2f s\n",
                     static_cast<double>(frames) / engine.sampleRate(), seconds);
        return 1;
    }
    // The take is kept (it is a valid file) but has gaps: not a success.
    if (lost > 0) {
        std::fprintf(stderr,
                     "quellio-cli: %llu samples (%.3f s) were lost: the input came faster than "
                     "they could be written; %s has gaps\n",
                     static_cast<unsigned long long>(lost),
                     static_cast<double>(lost) / engine.sampleRate(), out.string().c_str());
        return 1;
    }
    std::cout << "recorded " << static_cast<double>(frames) / engine.sampleRate() << " s to "
              << out.string() << (interrupted ? " (stopped early)" : "") << '\n';
    return 0;
}

// What the stored settings name, beside a device of the sound server.
std::string roles(const QELAudioSettings& settings, const std::string& name, bool output) {
    std::string r;
    if (output && settings.streamOutput() == name) r += " [stream]";
    if (output && settings.monitorOutput() == name) r += " [monitor]";
    if (!output && settings.mixedMicrophone() == name) r += " [mixed in]";
    if (!output && settings.makerInput() == name) r += " [maker]";
    return r;
}

int devices(Args args) {
    if (!args.empty()) return usage();
    QELAudioSettings settings;
    platform::AudioError serverError;
    if (auto server = platform::PulseConnection::connect("quellio-cli", &serverError)) {
        if (const auto list = server->devices(&serverError)) {
            std::cout << "sound server outputs:\n";
            for (const auto& d : list->outputs) {
                std::cout << (d.name == list->defaultOutput ? "* " : "  ") << d.name << "\t"
                          << d.description << roles(settings, d.name, true) << '\n';
            }
            std::cout << "sound server inputs:\n";
            for (const auto& d : list->inputs) {
                if (d.isMonitor) continue;
                std::cout << (d.name == list->defaultInput ? "> " : "  ") << d.name << "\t"
                          << d.description << roles(settings, d.name, false) << '\n';
            }
        }
    } else {
        std::cout << "no sound server (" << serverError.message
                  << "): the virtual microphone needs PipeWire or PulseAudio\n";
    }
    std::cout << "PortAudio devices:\n";
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

std::string percent(float v) {
    return std::to_string(static_cast<int>(std::lround(v * 100))) + "%";
}

std::string deviceOrElse(const std::string& name, const char* otherwise) {
    return name.empty() ? otherwise : name;
}

// The stored settings; a running program reads them at its next start.
int route(Args args) {
    if (args.size() != 1) return usage();
    QELAudioSettings settings;
    if (args[0] == "on" || args[0] == "off") {
        settings.setRoutingEnabled(args[0] == "on");
        if (!platform::UserDefaults::standard().synchronize()) {
            std::fprintf(stderr, "quellio-cli: cannot write the settings\n");
            return 1;
        }
        std::cout << "virtual microphone " << args[0] << " (from the program's next start)\n";
        return 0;
    }
    if (args[0] != "status") return usage();
    std::cout << "virtual microphone: " << (settings.routingEnabled() ? "on" : "off") << '\n'
              << "stream output: "
              << (settings.routingEnabled() ? platform::VirtualDevices::kEffectsSink
                                            : deviceOrElse(settings.streamOutput(), "default"))
              << " at " << percent(settings.streamVolume()) << '\n'
              << "monitor output: " << deviceOrElse(settings.monitorOutput(), "none") << " at "
              << percent(settings.monitorVolume()) << '\n'
              << "mixed microphone: " << deviceOrElse(settings.mixedMicrophone(), "none") << " at "
              << percent(settings.microphoneVolume()) << '\n'
              << "maker input: " << deviceOrElse(settings.makerInput(), "default") << '\n';
    platform::AudioError error;
    auto server = platform::PulseConnection::connect("quellio-cli", &error);
    const auto list = server ? server->devices(&error) : std::nullopt;
    if (!list) {
        std::cout << "sound server: none (" << error.message << ")\n";
        return 0;
    }
    const bool present = std::any_of(list->inputs.begin(), list->inputs.end(), [](const auto& d) {
        return d.name == platform::VirtualDevices::kMicrophoneSource;
    });
    std::cout << "sound server: " << platform::VirtualDevices::kMicrophoneSource
              << (present ? " present" : " absent") << '\n';
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::map<std::string, std::function<int(Args)>> commands = {
        {"catalogue", catalogue}, {"collection", collection}, {"play", play},
        {"devices", devices},     {"render", render},         {"record", record},
        {"route", route},         {"stop", stop},             {"list", list},
        {"hotkey", hotkey},       {"loudness", loudness},     {"normalise", normalise},
    };
    const std::string name = argv[1];
    if (name == "-h" || name == "--help" || name == "help") {
        printUsage(stdout);
        return 0;
    }
    if (name == "-V" || name == "--version") {
        std::printf("quellio-cli (Quellio) %s\n", QUELLIO_VERSION);
        return 0;
    }
    auto it = commands.find(name);
    if (it == commands.end()) {
        std::fprintf(stderr, "quellio-cli: unknown command '%s'\n", name.c_str());
        return usage();
    }
    return it->second(Args(argv + 2, argv + argc));
}
