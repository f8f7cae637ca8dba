// quellio-cli loudness and normalise on files sox makes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tools/CliTest.h"

using clitest::sox;

// A sine peaking at -20 dBFS reads -23 LUFS by definition of the scale.
TEST(CliLoudness, PrintsEachFileAndFailsOnTheBadOnes) {
    testsupport::TempDir dir;
    sox("-n -r 44100 -c 1 '" + dir.file("tone.flac") + "' synth 3 sine 997 vol 0.1");
    sox("-n -r 48000 -c 2 '" + dir.file("blip.wav") + "' synth 0.2 sine 997 vol 0.1");
    sox("-n -r 48000 -c 2 '" + dir.file("silence.wav") + "' trim 0 1");
    testsupport::writeText(dir.file("notes.wav"), "not audio");
    clitest::Cli cli;
    cli.stderrTo = "&1";
    const std::string out = cli("loudness '" + dir.file("tone.flac") + "' '" +
                                dir.file("notes.wav") + "' '" + dir.path() + "' '" +
                                dir.file("blip.wav") + "' '" + dir.file("silence.wav") + "'")
                                .out;
    EXPECT_EQ(cli.rc, 1);
    EXPECT_NE(out.find("tone.flac: integrated -23.0 LUFS, range 0.0 LU, true peak -20.0 dBTP"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("blip.wav: max momentary (too short for integrated) -23.0 LUFS"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("silence.wav: silent"), std::string::npos) << out;
    EXPECT_NE(out.find("cannot read " + dir.file("notes.wav")), std::string::npos) << out;
    EXPECT_NE(out.find(dir.path() + ": it is a directory"), std::string::npos) << out;

    EXPECT_EQ(cli("loudness '" + dir.file("tone.flac") + "' '" + dir.file("blip.wav") + "'").rc, 0);
}

TEST(CliLoudness, NormaliseWritesAFloatWavAtTheTarget) {
    testsupport::TempDir dir;
    const std::string in = dir.file("blip.wav"), out = dir.file("out.wav");
    sox("-n -r 48000 -c 2 '" + in + "' synth 0.2 sine 997 vol 0.1");
    clitest::Cli cli;
    EXPECT_EQ(cli("normalise '" + in + "' '" + out + "' --target -40").rc, 1);
    EXPECT_FALSE(std::filesystem::exists(out));

    ASSERT_EQ(cli("normalise '" + in + "' '" + out + "' --target -12").rc, 0);
    std::string info;
    testsupport::run("soxi '" + out + "'", &info);
    EXPECT_NE(info.find("Sample Rate    : 48000"), std::string::npos) << info;
    EXPECT_NE(info.find("Channels       : 2"), std::string::npos) << info;
    EXPECT_NE(info.find("32-bit Floating Point"), std::string::npos) << info;
    EXPECT_NE(cli("loudness '" + out + "'").out.find("-12.0 LUFS"), std::string::npos);
}
