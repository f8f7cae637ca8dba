// Renders 60 s of Mandarin speech (espeak-ng, 44.1 kHz mono 16-bit) through
// every voice with the editor the maker uses (read, voice change, atomic
// write) and has Debian's soundstretch make the same change of the same file
// in the same run. Prints the speed in multiples of real time and the time
// against soundstretch's, best of a few rounds each. Targets: 200x real time
// or more for every voice, and at most 1.5x soundstretch's time.
//
// usage: bench_render_voices [ROUNDS]   (needs espeak-ng, sox, soundstretch)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "audio/VoiceChange.h"
#include "core/maker/QELSoundEffectEditType.h"
#include "core/maker/QELSoundEffectEditor.h"
#include "foundation/RunLoop.h"

namespace fs = std::filesystem;

namespace {

constexpr double kSeconds = 60.0;

bool sh(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

double seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// soundstretch's switches for the change the voice makes, from the presets.
std::string stretchSwitches(QELSoundEffectEditType type) {
    char buf[64] = "";
    switch (type) {
        case QELSoundEffectEditType::Uncle:
            std::snprintf(buf, sizeof buf, "-pitch=%+g", platform::VoiceChange::kUncleSemitones);
            break;
        case QELSoundEffectEditType::Loli:
            std::snprintf(buf, sizeof buf, "-pitch=%+g", platform::VoiceChange::kLoliSemitones);
            break;
        case QELSoundEffectEditType::Fast:
            std::snprintf(buf, sizeof buf, "-tempo=+50");
            break;
        case QELSoundEffectEditType::Slow:
            std::snprintf(buf, sizeof buf, "-tempo=-50");
            break;
        case QELSoundEffectEditType::Origin:
            break;
    }
    // VoiceChange uses SoundTouch's speech windows, which is what -speech sets.
    return std::string(buf) + " -speech";
}

double renderOnce(const std::string& in, const std::string& out, QELSoundEffectEditType type) {
    const auto start = std::chrono::steady_clock::now();
    auto editor = QELSoundEffectEditor::initWithAudioURL(in, out);
    editor->setEditType(type);
    bool done = false;
    editor->editAsset([&](QELSoundEffectEditor&) { done = true; });
    if (!platform::RunLoop::main().runUntil([&] { return done; }, std::chrono::minutes(5)) ||
        !editor->succeeded()) {
        std::fprintf(stderr, "render %s failed\n", rawValue(type));
        std::exit(1);
    }
    return seconds(std::chrono::steady_clock::now() - start);
}

double stretchOnce(const std::string& in, const std::string& out, QELSoundEffectEditType type) {
    const std::string cmd =
        "soundstretch '" + in + "' '" + out + "' " + stretchSwitches(type) + " >/dev/null 2>&1";
    const auto start = std::chrono::steady_clock::now();
    if (!sh(cmd)) {
        std::fprintf(stderr, "failed: %s\n", cmd.c_str());
        std::exit(1);
    }
    return seconds(std::chrono::steady_clock::now() - start);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    char pattern[] = "/tmp/quellio-render-XXXXXX";
    if (!::mkdtemp(pattern)) return 1;
    const fs::path dir = pattern;
    const std::string raw = (dir / "speech-raw.wav").string();
    const std::string speech = (dir / "speech.wav").string();

    // A few sentences, repeated by sox up to the full length.
    const std::string text =
        "jin1 tian1 tian1 qi4 hen3 hao3, wo3 men5 yi4 qi3 qu4 gong1 yuan2 san4 bu4 ba5. "
        "zhe4 ge4 sheng1 yin1 you3 dian3 qi2 guai4, ni3 ting1 dao4 le5 ma5? "
        "da4 jia1 hao3, huan1 ying2 lai2 dao4 wo3 de5 zhi2 bo1 jian1, xie4 xie4 da4 jia1. "
        "ha1 ha1, zhen1 shi4 tai4 you3 yi4 si1 le5, zai4 lai2 yi2 ci4!";
    if (!sh("espeak-ng -v cmn-latn-pinyin -w '" + raw + "' \"" + text + "\"") ||
        !sh("sox '" + raw + "' -r 44100 -c 1 -b 16 '" + speech + "' repeat 40 trim 0 " +
            std::to_string(kSeconds))) {
        std::fprintf(stderr, "could not make the speech (espeak-ng and sox needed)\n");
        fs::remove_all(dir);
        return 1;
    }

    std::printf("%.0f s of espeak-ng Mandarin speech, 44.1 kHz mono 16-bit; best of %d\n", kSeconds,
                rounds);
    std::printf("%-7s %10s %12s %14s %10s\n", "voice", "ours (s)", "x real time", "soundstretch",
                "ratio");
    bool met = true;
    for (const auto type : kAllSoundEffectEditTypes) {
        double ours = 1e9;
        double theirs = 1e9;
        for (int r = 0; r < rounds; ++r) {
            ours = std::min(ours, renderOnce(speech, (dir / "ours.wav").string(), type));
            theirs = std::min(theirs, stretchOnce(speech, (dir / "theirs.wav").string(), type));
        }
        const double speed = kSeconds / ours;
        const double ratio = ours / theirs;
        met = met && speed >= 200 && ratio <= 1.5;
        std::printf("%-7s %10.4f %11.0fx %13.4fs %9.2fx   %s\n", rawValue(type), ours, speed,
                    theirs, ratio, stretchSwitches(type).c_str());
    }
    std::printf("targets (>= 200x real time, <= 1.5x soundstretch): %s\n", met ? "met" : "MISSED");
    fs::remove_all(dir);
    return 0;
}
