#include <csignal>
#include <cstdlib>

#include "TallyDataHarness.h"
#include "analytics/crash/TallyUncaughtExceptionHandler.h"
#include "analytics/device/TLANProtocolData.h"
#include "analytics/wire/TallyEnvelope.h"
#include "foundation/Files.h"
#include "support/CollectorProcess.h"

namespace {

std::string self() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return std::string(path, static_cast<size_t>(n > 0 ? n : 0));
}

}  // namespace

class TallyUpload : public TallyDataHarness {
protected:
    std::string db() { return dir.file("collector.db"); }
};

TEST_F(TallyUpload, RecordedEventsArriveAtTheCollector) {
    CollectorProcess collector(db());
    ASSERT_FALSE(collector.url().empty());
    startWith(collector.url());
    Tally::event("playSound", "掌声 \"quoted\"");
    loop.runUntilIdle();
    clock.advanceSeconds(30);
    post(platform::kApplicationWillResignActiveNotification);
    waitForJob();

    const auto uploads = collector.uploads();
    ASSERT_EQ(uploads.size(), 2u);
    // The first carries the activation message only.
    EXPECT_TRUE(uploads[0]["payload"]["body"].contains("activate_msg"));
    const auto& header = uploads[1]["payload"]["header"];
    EXPECT_EQ(header["successful_requests"], 1);
    EXPECT_TRUE(header.contains("id_tracking"));
    const auto& body = uploads[1]["payload"]["body"];
    const auto& events = body["ekv"][0][body["sessions"][0]["id"].get<std::string>()];
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["playSound"], "掌声 \"quoted\"");
    EXPECT_TRUE(envelopeFiles().empty());
}

TEST_F(TallyUpload, AFailedPostKeepsTheFilesUnlessTheServiceAnswered) {
    // Where a collector listened and nobody does now.
    const std::string nobody = CollectorProcess(dir.file("gone.db")).url();
    auto job = [&](const std::string& primary, const std::string& alternate = {}) {
        runtime.app().setEndpoints(primary, alternate);
        ASSERT_TRUE(data->beginPerformJob());
        waitForJob();
    };
    {
        CollectorProcess collector(db(), {"--status", "500"});
        startWith(collector.url());
        EXPECT_EQ(envelopeFiles().size(), 1u);
        EXPECT_EQ(config().integerWithKey("tlFailedRequests"), 1);
    }
    {
        // Primary refuses, the alternate answers in the wrong type.
        CollectorProcess collector(db(), {"--content-type", "text/plain"});
        job(nobody, collector.url());
        EXPECT_EQ(envelopeFiles().size(), 1u);
        EXPECT_EQ(config().integerWithKey("tlFailedRequests"), 3);
    }
    // Under defcon a failure gives the job's data up, but only when the
    // service said so: nobody listening is no answer.
    data->job().defcon = 1;
    job(nobody);
    EXPECT_EQ(envelopeFiles().size(), 1u);
    {
        CollectorProcess collector(db(), {"--status", "503"});
        job(collector.url());
        EXPECT_TRUE(envelopeFiles().empty());
    }
    // Without defcon, a 200 whose code is not 1 is an answer too: the file goes.
    data->job().defcon = 0;
    Tally::event("again");
    loop.runUntilIdle();
    ASSERT_TRUE(data->envelope().makeEnvelopeData());
    CollectorProcess collector(dir.file("other.db"), {"--resp-code", "0"});
    job(collector.url());
    EXPECT_TRUE(envelopeFiles().empty());
    EXPECT_EQ(collector.uploads().size(), 1u);
}

// The imprint of the first answer asks for encryption. (What defcon does
// to later jobs: TallyJobTest.CommitCheckByPolicy.)
TEST_F(TallyUpload, TheServicesImprintTurnsEncryptionOn) {
    CollectorProcess collector(db(), {"--codex", "1"});
    startWith(collector.url());
    Tally::event("quiet");
    clock.advanceSeconds(30);
    post(platform::kApplicationWillResignActiveNotification);
    waitForJob();
    const auto uploads = collector.uploads();
    ASSERT_EQ(uploads.size(), 2u);
    EXPECT_EQ(uploads[0]["codex"], 0);
    EXPECT_EQ(uploads[1]["codex"], 1);
    EXPECT_TRUE(uploads[1]["payload"]["header"].contains("imprint"));
    EXPECT_EQ(uploads[1]["payload"]["body"]["ekv"][0].begin().value()[0]["id"], "quiet");
}

// The child side of the next test: uploads to a collector that never
// answers and waits to be killed.
TEST(TallyUploadChild, DISABLED_UploadUntilKilled) {
    const char* home = std::getenv("TALLY_CHILD_HOME");
    const char* url = std::getenv("TALLY_CHILD_URL");
    if (!home || !url) GTEST_SKIP() << "runs as a child of KilledMidUploadLosesNoFile";
    TallyWorld world(home);
    auto data = attachDataPipeline(world.runtime, true);
    Tally::startWithConfigure(tallyConfig(url));
    world.loop.runUntil([] { return false; }, std::chrono::seconds(30));
}

TEST_F(TallyUpload, KilledMidUploadLosesNoFile) {
    CollectorProcess collector(db(), {"--hang"});
    const std::string home = dir.file("child");
    ChildProcess child({self(), "--gtest_filter=TallyUploadChild.DISABLED_UploadUntilKilled",
                        "--gtest_also_run_disabled_tests"},
                       {"TALLY_CHILD_HOME=" + home, "TALLY_CHILD_URL=" + collector.url()});
    ASSERT_TRUE(child.running());
    ASSERT_FALSE(collector.process().waitForLine("received ").empty());
    const int status = child.kill(SIGKILL);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(home + "/Library/.tally")) {
        if (e.path().string().ends_with("_envelope.log")) files.push_back(e.path().string());
    }
    ASSERT_EQ(files.size(), 1u);
    const auto bytes = platform::readFile(files[0]);
    ASSERT_TRUE(bytes);
    const auto envelope = TallyEnvelope::readEnvelope(*bytes);
    ASSERT_TRUE(envelope);
    EXPECT_TRUE(TallyEnvelope::openEntity(*envelope));
}

// A process that collects as the program would and then ends without
// ending its session: a crash, or a kill that no handler sees. It runs in a
// re-executed child of the test binary; both sides share the directory
// through the environment. The next start sends everything it collected.
class TallyUploadAfterAnEnd : public TallyUpload {
protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        // The package names the files: the same in both processes.
        TLANProtocolData::setApplicationInfo(
            {{"CFBundleIdentifier", platform::Value("com.zentrik.quellio.crashtest")}});
        if (!std::getenv("TALLY_CRASH_HOME")) {
            ::setenv("TALLY_CRASH_HOME", dir.file("crash").c_str(), 1);
        }
        home = std::getenv("TALLY_CRASH_HOME");
    }
    void TearDown() override { ::unsetenv("TALLY_CRASH_HOME"); }

    // The child: collects for 5 s, lets the main loop turn, and ends by `signal`.
    void collectThenEndBy(int signal) {
        TallyWorld w(home);
        auto p = attachDataPipeline(w.runtime, false);
        Tally::startWithConfigure(tallyConfig("", true));
        Tally::event("first");
        Tally::beginLogPageView("board");
        w.loop.runUntilIdle();
        w.clock.advanceSeconds(5);
        Tally::endLogPageView("board");
        Tally::event("last", Tally::Attributes{{"k", platform::Value("v")}});
        w.loop.runUntilIdle();
        ::kill(::getpid(), signal);
    }

    // The next start's one upload.
    nlohmann::json startAgainAndUpload() {
        CollectorProcess collector(db());
        {
            TallyWorld w(home, kStart + 60);
            auto p = attachDataPipeline(w.runtime, true);
            Tally::startWithConfigure(tallyConfig(collector.url(), true));
            w.loop.runUntilIdle();
            EXPECT_TRUE(w.loop.runUntil([&] { return !p->job().jobRunning; }));
            p->waitForSendQueue();
            TallyUncaughtExceptionHandler::uninstall();
        }
        const auto uploads = collector.uploads();
        EXPECT_EQ(uploads.size(), 1u);
        return uploads.empty() ? nlohmann::json::object() : uploads[0]["payload"]["body"];
    }

    // The ended session, rebuilt, with its pages and events.
    void expectTheEndedSession(const nlohmann::json& body) {
        ASSERT_EQ(body.value("sessions", nlohmann::json::array()).size(), 1u) << body.dump();
        const auto& session = body["sessions"][0];
        EXPECT_EQ(session["duration"], 5000);
        EXPECT_EQ(session["end_time"], static_cast<int64_t>(kStart + 5) * 1000);
        EXPECT_EQ(session.value("pages", nlohmann::json()),
                  nlohmann::json::parse(R"([{"page_name": "board", "duration": 5}])"));
        const std::string id = session["id"];
        ASSERT_TRUE(body.contains("ekv")) << body.dump();
        const auto& events = body["ekv"][0][id];
        ASSERT_EQ(events.size(), 2u) << body.dump();
        EXPECT_EQ(events[0]["id"], "first");
        EXPECT_EQ(events[1]["k"], "v");
    }

    std::string home;
};

TEST_F(TallyUploadAfterAnEnd, ACrashIsSentWithTheCrashedSession) {
    EXPECT_EXIT(collectThenEndBy(SIGSEGV), ::testing::KilledBySignal(SIGSEGV), "");
    ASSERT_TRUE(std::filesystem::exists(home + "/Library/.tally/crash.record"));
    const auto body = startAgainAndUpload();
    EXPECT_FALSE(std::filesystem::exists(home + "/Library/.tally/crash.record"));
    const auto& errors = body["error"];
    ASSERT_EQ(errors.size(), 1u);
    // Its layout is the record parser's; what the handler wrote shows here.
    const std::string context = errors[0]["context"];
    EXPECT_EQ(context.rfind("Application received signal SIGSEGV\n0x", 0), 0u) << context;
    EXPECT_NE(context.find("\nBinary Image: " + self()), std::string::npos) << context;
    expectTheEndedSession(body);
}

TEST_F(TallyUploadAfterAnEnd, AKillLosesNothingCollected) {
    EXPECT_EXIT(collectThenEndBy(SIGKILL), ::testing::KilledBySignal(SIGKILL), "");
    expectTheEndedSession(startAgainAndUpload());
}
