#include "core/maker/QELSoundEffectImporter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "core/maker/MakerTestSupport.h"

namespace fs = std::filesystem;
using Code = QELImportResult::Code;

namespace {

class ImporterTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(base);
        storage = std::make_unique<QELMySoundEffectStorage>(dir.file("collection.info"));
        importer = std::make_unique<QELSoundEffectImporter>(
            QELSoundEffectImporter::Environment{base, storage.get()});
    }
    void TearDown() override {
        importer.reset();
        storage.reset();
        platform::RunLoop::main().runUntilIdle();
    }

    QELImportResult import(const std::string& path, QELImportOptions options = {}) {
        std::optional<QELImportResult> result;
        importer->importFile(path, std::move(options),
                             [&](const QELImportResult& r) { result = r; });
        EXPECT_TRUE(makertest::waitOnMain([&] { return result.has_value(); }));
        return result.value_or(QELImportResult{Code::SaveFailed, "", "no answer"});
    }

    // A stereo 48-kHz file sox synthesises (format from the name's extension).
    std::string sox(const std::string& name, const std::string& effects) {
        const std::string path = dir.file(name);
        std::string out;
        EXPECT_EQ(
            testsupport::run("sox -n -r 48000 -c 2 '" + path + "' " + effects + " 2>&1", &out), 0)
            << out;
        return path;
    }

    std::set<std::string> filesInBase() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(base)) names.insert(e.path().filename());
        return names;
    }

    std::vector<std::string> titles() const {
        std::vector<std::string> names;
        for (const auto& e : storage->soundEffects()) names.push_back(e->name());
        return names;
    }

    testsupport::TempDir dir;
    std::string base = dir.file("UserCollections");
    std::unique_ptr<QELMySoundEffectStorage> storage;
    std::unique_ptr<QELSoundEffectImporter> importer;
};

}  // namespace

TEST_F(ImporterTest, SavesMonoRecordingsTrimmedAndAtTheTargetLoudness) {
    struct Case {
        std::string file, effects;
        QELImportOptions options;
        std::string title;
        double seconds;
        double lufs;  // NAN: as the source, mixed to mono
        bool note = false;
    };
    QELImportOptions quietTarget;
    quietTarget.title = "噪声";
    quietTarget.loudnessTarget = -23;
    QELImportOptions asIs;
    asIs.trimSilence = false;
    asIs.normalise = false;
    const Case cases[] = {
        {"jingle.mp3", "synth 2 sine 440 vol 0.03 pad 0.5 0.5", {}, "jingle", 2.0, -16},
        {"noise.flac", "synth 3 pinknoise vol 0.9 pad 0.3 0", quietTarget, "噪声", 3.0, -23},
        {"raw.ogg", "synth 1 sine 300 vol 0.1 pad 0.5 0.5", asIs, "raw", 2.0, NAN},
        {"hush.wav", "synth 1 sine 440 vol 0", {}, "hush", 1.0, NAN, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string source = sox(c.file, c.effects);
        const auto result = import(source, c.options);
        ASSERT_TRUE(result.imported()) << result.message;
        EXPECT_EQ(result.title, c.title);
        EXPECT_EQ(result.message.empty(), !c.note) << result.message;
        ASSERT_EQ(titles().back(), c.title);

        const std::string saved = base + "/" + c.title + ".caf";
        makertest::expectRenderedWav(saved);
        EXPECT_NEAR(std::stod(makertest::soxi("-D", saved)), c.seconds, 0.1);
        if (c.note) {
            for (float s : audiotest::soxSamples(saved)) ASSERT_EQ(s, 0.0f);
        } else {
            const auto measured = audiotest::ffmpegLoudness(saved);
            const double expected =
                std::isnan(c.lufs) ? audiotest::ffmpegLoudness(source).integrated - 3.01 : c.lufs;
            EXPECT_NEAR(measured.integrated, expected, 0.5);
            EXPECT_LE(measured.truePeak, -1.0);
        }
    }
}

TEST_F(ImporterTest, RefusesBadInputWithAReasonAndChangesNothing) {
    ASSERT_TRUE(import(sox("keep.wav", "synth 0.5 sine 440")).imported());
    ASSERT_TRUE(storage->flush());
    const auto collection = makertest::bytesOf(storage->filePath());
    const auto files = filesInBase();

    testsupport::writeText(dir.file("notes.mp3"), "not a sound at all");
    testsupport::writeText(dir.file("empty.wav"), "");
    const std::string whole = sox("whole.wav", "synth 1 sine 440");
    auto head = makertest::bytesOf(whole);
    head.resize(30);
    platform::writeFileAtomically(dir.file("cut.wav"), head);
    fs::create_directories(dir.file("folder.wav"));
    ASSERT_EQ(
        testsupport::run("sox -n -r 8000 -c 1 '" + dir.file("long.wav") +
                         "' synth 601 sine 440 && truncate -s 201M '" + dir.file("big.wav") + "'"),
        0);
    auto titled = [](std::string title) {
        QELImportOptions o;
        o.title = std::move(title);
        return o;
    };
    const struct {
        std::string path;
        QELImportOptions options;
        Code code;
    } cases[] = {
        {dir.file("notes.mp3"), {}, Code::NotAudio},
        {dir.file("empty.wav"), {}, Code::Empty},
        {dir.file("cut.wav"), {}, Code::NotAudio},
        {dir.file("folder.wav"), {}, Code::IsDirectory},
        {dir.file("long.wav"), {}, Code::TooLong},
        {dir.file("big.wav"), {}, Code::TooLarge},
        {dir.file("missing.wav"), {}, Code::NotFound},
        {whole, titled("a/b"), Code::InvalidName},
        {whole, titled("keep"), Code::NameTaken},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path + " as " + c.options.title);
        const auto result = import(c.path, c.options);
        EXPECT_EQ(result.code, c.code) << result.name() << ": " << result.message;
        EXPECT_FALSE(result.message.empty());
    }
    EXPECT_EQ(titles(), std::vector<std::string>{"keep"});
    ASSERT_TRUE(storage->flush());
    EXPECT_EQ(makertest::bytesOf(storage->filePath()), collection);
    EXPECT_EQ(filesInBase(), files);
}

TEST_F(ImporterTest, ReplacesARecordingOnlyWhenAskedAndACancelLeavesNoTrace) {
    ASSERT_TRUE(import(sox("x.wav", "synth 0.5 sine 440")).imported());
    const auto first = makertest::bytesOf(base + "/x.caf");
    QELImportOptions replace;
    replace.title = "x";
    replace.replace = true;
    ASSERT_TRUE(import(sox("other.wav", "synth 0.7 sine 880"), replace).imported());
    EXPECT_NE(makertest::bytesOf(base + "/x.caf"), first);
    EXPECT_EQ(titles(), std::vector<std::string>{"x"});

    const auto files = filesInBase();
    const std::string longFile = sox("long.wav", "synth 60 pinknoise");
    std::optional<QELImportResult> result;
    std::vector<double> progress;
    auto task = importer->importFile(
        longFile, {}, [&](const QELImportResult& r) { result = r; },
        [&](double done) { progress.push_back(done); });
    task->cancel();
    ASSERT_TRUE(makertest::waitOnMain([&] { return result.has_value(); }));
    EXPECT_EQ(result->code, Code::Cancelled);
    EXPECT_EQ(filesInBase(), files);
    EXPECT_EQ(titles(), std::vector<std::string>{"x"});

    // Uncancelled, the same file reports its progress up to the end.
    result.reset();
    progress.clear();
    importer->importFile(
        longFile, {}, [&](const QELImportResult& r) { result = r; },
        [&](double done) { progress.push_back(done); });
    ASSERT_TRUE(makertest::waitOnMain([&] { return result.has_value(); }));
    EXPECT_TRUE(result->imported());
    ASSERT_GT(progress.size(), 10u);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), 1.0);
}
