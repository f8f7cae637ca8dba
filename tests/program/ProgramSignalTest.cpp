// The real program ended by the desktop's signals: each ends it as quitting
// does, so the session it ran reaches the service when it starts again.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "support/CollectorProcess.h"

using nlohmann::json;

namespace {

struct Home {
    testsupport::TempDir dir;
    std::vector<std::string> env(const std::string& url) const {
        return {"QUELLIO_HOME=" + dir.file("home"), "QUELLIO_ANALYTICS_URL=" + url,
                "QT_QPA_PLATFORM=offscreen", "QUELLIO_AUDIO_BACKEND=null"};
    }
};

bool exitedWithZero(int status) {
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(ProgramSignals, EachEndsTheProgramGracefullyAndTheSessionArrivesNextTime) {
    Home home;
    CollectorProcess collector(home.dir.file("collector.db"));
    CollectorProcess hanging(home.dir.file("hanging.db"), {"--hang"});
    ASSERT_FALSE(collector.url().empty());
    ASSERT_FALSE(hanging.url().empty());

    // Up once its upload at start is stored; ended by the signal.
    auto run = [&](int signal) {
        ChildProcess program({QUELLIO_PROGRAM}, home.env(collector.url()));
        EXPECT_FALSE(collector.process().waitForLine("stored ").empty());
        const int status = program.kill(signal);
        EXPECT_TRUE(exitedWithZero(status)) << strsignal(signal) << ": status " << status;
    };
    run(SIGTERM);
    {
        // An endpoint that never answers does not hold the end up (the
        // bound is far below the upload's own time-out).
        ChildProcess program({QUELLIO_PROGRAM}, home.env(hanging.url()));
        EXPECT_FALSE(hanging.process().waitForLine("received ").empty());
        program.signal(SIGINT);
        const int status = program.waitForExit(std::chrono::seconds(8));
        EXPECT_TRUE(exitedWithZero(status)) << "status " << status;
    }
    run(SIGHUP);   // sends the first run's session, which the hang kept
    run(SIGTERM);  // sends the second's and the third's

    std::set<std::string> sessions;
    for (const auto& upload : collector.uploads()) {
        for (const auto& s : upload["payload"]["body"].value("sessions", json::array())) {
            EXPECT_GE(s["duration"].get<int64_t>(), 0);
            sessions.insert(s["id"].get<std::string>());
        }
    }
    EXPECT_EQ(sessions.size(), 3u) << "the three runs that a single signal ended";
}

}  // namespace
