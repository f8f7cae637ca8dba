// The program in processes of its own, meeting the analytics service (a
// local tally-collector), the command line and the sound server.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/collection/CollectionTestSupport.h"
#include "program/ProgramDriver.h"
#include "support/CollectorProcess.h"
#include "support/PulseServer.h"
#include "support/TestSupport.h"

using collectiontest::namesInFile;
using nlohmann::json;

namespace {

std::string self() { return std::filesystem::read_symlink("/proc/self/exe").string(); }

bool exitedWithZero(int status) {
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(ProgramTest, EveryRunsSessionArrivesNextTimeWhetherQuitOrEndedBySignal) {
    testsupport::TempDir dir;
    // The driven run uploads to a collector of its own: a later run is up
    // once the main collector has stored that run's own upload.
    CollectorProcess first(dir.file("first.db"));
    CollectorProcess collector(dir.file("collector.db"));
    CollectorProcess hanging(dir.file("hanging.db"), {"--hang"});
    ASSERT_FALSE(first.url().empty() || collector.url().empty() || hanging.url().empty());
    auto env = [&](const CollectorProcess& to) {
        return std::vector<std::string>{"QUELLIO_HOME=" + dir.file("home"),
                                        "QUELLIO_ANALYTICS_URL=" + to.url(),
                                        "QT_QPA_PLATFORM=offscreen", "QUELLIO_AUDIO_BACKEND=null"};
    };
    {
        ChildProcess driver({self(), "--drive", "first"}, env(first));
        std::string steps;
        ASSERT_TRUE(exitedWithZero(driver.waitForExit(std::chrono::seconds(120), &steps))) << steps;
    }
    // The real program, up once its upload at start is stored.
    auto endBy = [&](int signal) {
        ChildProcess program({QUELLIO_PROGRAM}, env(collector));
        EXPECT_FALSE(collector.process().waitForLine("stored ").empty());
        EXPECT_TRUE(exitedWithZero(program.kill(signal))) << strsignal(signal);
    };
    endBy(SIGTERM);
    {
        // An endpoint that never answers does not hold the end up (the
        // bound is far below the upload's own time-out).
        ChildProcess program({QUELLIO_PROGRAM}, env(hanging));
        EXPECT_FALSE(hanging.process().waitForLine("received ").empty());
        program.signal(SIGINT);
        EXPECT_TRUE(exitedWithZero(program.waitForExit(std::chrono::seconds(8))));
    }
    endBy(SIGHUP);   // sends the first signalled run's session, which the hang kept
    endBy(SIGTERM);  // sends the hung run's and the last one's

    auto uploads = first.uploads();
    for (auto& upload : collector.uploads()) uploads.push_back(std::move(upload));
    std::vector<json> sessions;
    std::set<std::string> ids;
    for (const auto& upload : uploads) {
        EXPECT_EQ(upload["payload"]["header"]["appkey"], "5f8e2a91c3d74b06e1a9c2d7");
        for (const auto& s : upload["payload"]["body"].value("sessions", json::array())) {
            EXPECT_GE(s["duration"].get<int64_t>(), 0);
            sessions.push_back(s);
            ids.insert(s["id"].get<std::string>());
        }
    }
    ASSERT_EQ(ids.size(), 4u) << "the driven run and the three that a signal ended";
    ASSERT_EQ(sessions.size(), 4u) << "each sent once";

    // The driven run's, sent first: its events in the order the user caused them.
    const json& session = sessions[0];
    std::vector<std::string> events;
    for (const auto& upload : uploads)
        for (const auto& group : upload["payload"]["body"].value("ekv", json::array()))
            for (const auto& e : group.value(session["id"].get<std::string>(), json::array()))
                events.push_back(e["id"]);
    EXPECT_EQ(events, (std::vector<std::string>{"playSound", "click_tab", "click_tab"}));
    // The pages the user stayed on long enough to count.
    std::vector<std::string> pages;
    for (const auto& page : session.value("pages", json::array())) {
        pages.push_back(page["page_name"]);
        EXPECT_GE(page["duration"], 1) << page;
    }
    for (const char* shown :
         {"Quellio.QELSoundEffectListViewController", "Quellio.QELSoundEffectMakeViewController"})
        EXPECT_TRUE(std::ranges::find(pages, shown) != pages.end()) << shown << " in " << session;
}

// The running program and quellio-cli add to one collection in turn: each
// sees the other's additions and neither loses any, and the program's last
// one is written when it quits. Temporaries a killed save left are gone
// once the program has started.
TEST(ProgramTest, TheProgramAndTheCommandLineShareOneCollection) {
    testsupport::TempDir dir;
    const std::string home = dir.file("home");
    const std::string cli = "QUELLIO_HOME='" + home + "' " QUELLIO_CLI " ";
    std::string catalogue;
    ASSERT_EQ(testsupport::run(cli + "catalogue --json", &catalogue), 0);
    std::vector<std::pair<std::string, std::string>> effects;
    for (const auto& c : json::parse(catalogue))
        for (const auto& item : c["items"]) effects.emplace_back(c["category"], item["title"]);
    ASSERT_GE(effects.size(), size_t(kSharedAdds));
    const std::string collection = home + "/Library/UserCollections/Customcollection.info";
    const std::vector<std::string> leftovers = {
        home + "/Library/UserCollections/.Customcollection.info.AbC123",
        home + "/Library/.tally/.1733500000000_envelope.log.XyZ789"};
    for (const auto& file : leftovers) testsupport::writeText(file, "killed mid-write");

    ChildProcess driver({self(), "--drive", "share"},
                        {"QUELLIO_HOME=" + home, "QT_QPA_PLATFORM=offscreen",
                         "QUELLIO_AUDIO_BACKEND=null"});
    ASSERT_TRUE(driver.running());
    for (int i = 0; i < kSharedAdds; ++i) {
        const auto& [category, title] = effects[i];
        std::string out;
        ASSERT_EQ(testsupport::run(cli + "collection add '" + category + "' '" + title + "'", &out),
                  0)
            << out;
        if (i + 1 == kSharedAdds) break;  // the last answer is written at the quit
        const std::string ours = "p" + std::to_string(i);
        ASSERT_FALSE(driver.waitForLine("step: wrote " + ours, std::chrono::seconds(60)).empty());
        EXPECT_EQ(std::ranges::count(namesInFile(collection), ours), 1) << "the answer to " << title;
    }
    std::string steps;
    ASSERT_TRUE(exitedWithZero(driver.waitForExit(std::chrono::seconds(120), &steps))) << steps;

    const auto names = namesInFile(collection);
    EXPECT_EQ(names.size(), 2u * kSharedAdds);
    for (int i = 0; i < kSharedAdds; ++i)
        for (const std::string& name : {effects[i].second, "p" + std::to_string(i)})
            EXPECT_EQ(std::ranges::count(names, name), 1) << name;
    for (const auto& file : leftovers) EXPECT_FALSE(std::filesystem::exists(file)) << file;
}

// With the virtual microphone switched on, the program brings it up on the
// sound server as it starts (what it plays there is SoundServerTest's), and
// nothing of ours stays in the server once it quits.
TEST(ProgramTest, StoredRoutingComesUpWithTheProgramAndNothingIsLeftBehind) {
    testsupport::TempDir dir;
    testsupport::PulseServer server;
    ASSERT_TRUE(server.ready());
    const std::string home = dir.file("home");
    ASSERT_EQ(testsupport::run("QUELLIO_HOME='" + home + "' " QUELLIO_CLI " route on"), 0);
    ChildProcess driver({self(), "--drive", "route"},
                        {"QUELLIO_HOME=" + home, "QT_QPA_PLATFORM=offscreen"});
    std::string steps;
    ASSERT_TRUE(exitedWithZero(driver.waitForExit(std::chrono::seconds(60), &steps))) << steps;
    EXPECT_EQ(testsupport::PulseServer::ourModules(), 0);
    EXPECT_EQ(server.pactl("get-default-source"), "speakers.monitor\n");
}

}  // namespace

// `--drive PHASE` is the program under a script; otherwise the tests run.
int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--drive") return driveProgram(argc, argv, argv[2]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
