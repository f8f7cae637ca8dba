// quellio-cli render and record, end to end; the files are judged by sox.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "audio/AudioTestFiles.h"
#include "tools/CliTest.h"

namespace {

using clitest::Cli;
using clitest::sox;

std::string soxi(const std::string& option, const std::string& path) {
    std::string out;
    EXPECT_EQ(testsupport::run("soxi " + option + " '" + path + "'", &out), 0);
    return out;
}

// Frequency of a steady tone from its upward zero crossings.
double toneHz(const std::string& path) {
    const std::vector<float> s = audiotest::soxSamples(path);
    if (s.size() < 44100) return 0;
    // The middle second: the processor's ramp-in and tail are not the tone.
    const size_t from = s.size() / 2 - 22050;
    size_t crossings = 0;
    for (size_t i = from + 1; i < from + 44100; ++i) crossings += s[i - 1] < 0 && s[i] >= 0;
    return static_cast<double>(crossings);
}

// The environment for an ALSA file device whose microphone plays `seconds`
// of a 1 kHz tone, unpaced.
std::string microphone(const testsupport::TempDir& dir, int seconds,
                       const std::string& output = "") {
    const std::string input = dir.file("in.raw");
    sox("-n -r 44100 -c 1 -t f32 -e floating-point '" + input + "' synth " +
        std::to_string(seconds) + " sine 1000 vol 0.5");
    const std::string config =
        testsupport::writeAlsaFileDevice(dir, output.empty() ? dir.file("out.raw") : output, input);
    return "ALSA_CONFIG_PATH='" + config + "' JACK_NO_START_SERVER=1 QUELLIO_INPUT_DEVICE= ";
}

}  // namespace

TEST(CliRender, RendersAToneThroughTheVoiceAskedForHigherInPitch) {
    testsupport::TempDir dir;
    const std::string in = dir.file("tone.wav");
    const std::string out = dir.file("loli.wav");
    sox("-n -r 44100 -c 1 -b 16 '" + in + "' synth 2 sine 1000 vol 0.5");

    Cli cli;
    ASSERT_EQ(cli("render Loli '" + in + "' '" + out + "'").rc, 0);
    // The voice asked for (the renderer's output itself is the editor's
    // tests' concern): +6 semitones: 1000 Hz * 2^(6/12) is about 1414 Hz.
    EXPECT_NEAR(toneHz(out), 1414, 40);
}

TEST(CliRender, RefusesAnUnknownVoiceAndUnfitInputsLeavingOutAlone) {
    testsupport::TempDir dir;
    const std::string in = dir.file("tone.wav");
    const std::string stereo = dir.file("stereo48k.wav");
    const std::string out = dir.file("out.wav");
    sox("-n -r 44100 -c 1 -b 16 '" + in + "' synth 0.5 sine 1000");
    sox("-n -r 48000 -c 2 -b 16 '" + stereo + "' synth 0.5 sine 1000");
    testsupport::writeText(out, "keep");

    Cli cli;
    EXPECT_EQ(cli("render Robot '" + in + "' '" + out + "'").rc, 1);
    EXPECT_EQ(cli("render loli '" + in + "' '" + out + "'").rc, 1) << "voices are case-sensitive";
    EXPECT_EQ(cli("render Loli '" + dir.file("missing.wav") + "' '" + out + "'").rc, 1);
    EXPECT_EQ(cli("render Loli '" + stereo + "' '" + out + "'").rc, 1);
    EXPECT_EQ(std::filesystem::file_size(out), 4u) << "a refused render must not touch OUT";
}

// The microphone is an ALSA file device playing a known tone; it is not
// paced, so a second of input arrives at once.
TEST(CliRecord, RecordsTheAskedLengthFromTheInputAndFailsWithoutOne) {
    testsupport::TempDir dir;
    const std::string env = microphone(dir, 3);
    const std::string take = dir.file("take.wav");

    Cli cli;
    ASSERT_EQ(cli("record 1 '" + take + "'", env).rc, 0);
    EXPECT_EQ(soxi("-r", take), "44100\n");
    EXPECT_EQ(soxi("-c", take), "1\n");
    EXPECT_EQ(soxi("-b", take), "16\n");
    EXPECT_EQ(soxi("-s", take), "44100\n");
    EXPECT_NEAR(toneHz(take), 1000, 5) << "the microphone's tone";
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_NE(entry.path().filename().string()[0], '.') << "a take left behind";

    EXPECT_EQ(cli("record 1 '" + dir.file("none.wav") + "' --device 'no such microphone'", env).rc,
              1);
    EXPECT_EQ(cli("record soon '" + dir.file("none.wav") + "'", env).rc, 1);
    EXPECT_EQ(cli("record 1 '" + dir.file("missing/dir.wav") + "'", env).rc, 1);
    EXPECT_FALSE(std::filesystem::exists(dir.file("none.wav")));
}

// Samples the input delivered but the ring could not hold are reported and
// fail the command; what was kept is still a valid take of the asked length.
// Samples lost on the way, or samples that stop reaching the file, fail the
// command and keep a valid take of what came in.
TEST(CliRecord, LostSamplesFailTheCommandAndKeepAValidTake) {
    testsupport::TempDir dir;
    // A ring smaller than any input block loses part of every block.
    const std::string take = dir.file("take.wav");
    std::string err;
    int rc = testsupport::run(microphone(dir, 30) + "QUELLIO_RECORDER_RING_SAMPLES=16 " +
                                  QUELLIO_CLI " record 0.05 '" + take + "' 2>&1 >/dev/null",
                              &err);
    EXPECT_EQ(rc, 1) << err;
    EXPECT_NE(err.find("samples ("), std::string::npos) << err;
    EXPECT_NE(err.find(" were lost"), std::string::npos) << err;
    EXPECT_EQ(soxi("-s", take), "2205\n");

    // A file size limit stops the take's file a few kilobytes in.
    const std::string cut = dir.file("cut.wav");
    rc = testsupport::run("trap '' XFSZ; ulimit -f 16; " + microphone(dir, 30, "/dev/null") +
                              QUELLIO_CLI " record 0.5 '" + cut + "' 2>&1 >/dev/null",
                          &err);
    EXPECT_EQ(rc, 1) << err;
    EXPECT_NE(err.find("the input delivered only"), std::string::npos) << err;
    ASSERT_TRUE(std::filesystem::exists(cut)) << err;
    const auto frames = std::stoull(soxi("-s", cut));
    EXPECT_GT(frames, 0u);
    EXPECT_LT(frames, 22050u);
    EXPECT_EQ(std::filesystem::file_size(cut), 44 + 2 * frames);
}

// Stopped by ^C or SIGTERM, a recording keeps what it took as a valid file.
TEST(CliRecord, ASignalEndsTheRecordingKeepingTheTake) {
    testsupport::TempDir dir;
    const std::string env = microphone(dir, 1, "/dev/null");
    for (const char* signal : {"INT", "TERM"}) {
        const std::string take = dir.file(std::string("take-") + signal + ".wav");
        // A meter file per run: the shell may look before the next run's
        // redirection empties a shared one, and find the last run's figure.
        const std::string err = dir.file(std::string("meter-") + signal);
        // The meter's first figure says the recording runs; the signal comes
        // long before the input (unpaced, then silent) makes up an hour.
        const std::string out = dir.file(std::string("out-") + signal);
        const std::string script =
            env + QUELLIO_CLI " record 3600 '" + take + "' 2>'" + err + "' >'" + out +
            "' & pid=$!; until grep -q dBFS '" + err + "' 2>/dev/null; do :; done; kill -" +
            signal + " $pid; wait $pid; echo $?";
        testsupport::writeText(dir.file("stop.sh"), script);
        std::string rc;
        testsupport::run("sh '" + dir.file("stop.sh") + "'", &rc);
        std::string said, printed;
        testsupport::run("cat '" + err + "'", &said);
        testsupport::run("cat '" + out + "'", &printed);
        // The unpaced input can outrun the writer on a loaded machine; the
        // command then rightly fails for the gaps. A signal alone never does.
        if (said.find(" were lost") == std::string::npos) {
            EXPECT_EQ(rc, "0\n") << signal << said;
            EXPECT_NE(printed.find("(stopped early)"), std::string::npos) << printed;
        }
        EXPECT_EQ(said.find("delivered only"), std::string::npos) << signal << said;
        EXPECT_EQ(soxi("-r", take), "44100\n");
        const double seconds = std::stod(soxi("-D", take));
        EXPECT_GT(seconds, 0) << signal;
        EXPECT_LT(seconds, 3600) << signal;
        // The header's length is the data's: sox reads every sample it names.
        EXPECT_EQ(std::filesystem::file_size(take),
                  44 + 2 * static_cast<uintmax_t>(std::stoull(soxi("-s", take))));
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_NE(entry.path().filename().string()[0], '.') << "a take left behind";
}
