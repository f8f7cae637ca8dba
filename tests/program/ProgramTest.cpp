// The whole program, run twice over one home as a user would: what the
// first run did reaches the analytics service (a local tally-collector) as
// one session, uploaded when the program starts again.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "program/ProgramDriver.h"
#include "support/CollectorProcess.h"

using nlohmann::json;

namespace {

std::string self() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return std::string(path, static_cast<size_t>(n > 0 ? n : 0));
}

TEST(ProgramTest, WhatTheUserDidArrivesAsOneSessionAfterARestart) {
    testsupport::TempDir dir;
    const std::string db = dir.file("collector.db");
    CollectorProcess collector(db);
    ASSERT_FALSE(collector.url().empty());
    const std::vector<std::string> env = {
        "QUELLIO_HOME=" + dir.file("home"), "QUELLIO_ANALYTICS_URL=" + collector.url(),
        "QT_QPA_PLATFORM=offscreen", "QUELLIO_AUDIO_BACKEND=null"};
    for (const std::string phase : {"first", "second"}) {
        ChildProcess driver({self(), "--drive", phase, "--collector-db", db}, env);
        ASSERT_TRUE(driver.running());
        std::string steps;
        const int status = driver.waitForExit(std::chrono::seconds(120), &steps);
        ASSERT_TRUE(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "the " << phase << " run ended with status " << status << " after:\n"
            << steps;
    }

    const auto uploads = collector.uploads();
    std::vector<json> sessions;
    for (const auto& upload : uploads) {
        const json& payload = upload["payload"];
        EXPECT_EQ(payload["header"]["appkey"], "5f8e2a91c3d74b06e1a9c2d7");
        for (const auto& s : payload["body"].value("sessions", json::array()))
            sessions.push_back(s);
    }
    ASSERT_EQ(sessions.size(), 1u) << "the first run's; the second has not ended";
    const json& session = sessions[0];
    const std::string id = session["id"];

    // Its events, from every upload, in the order the user caused them.
    std::vector<std::string> events;
    for (const auto& upload : uploads)
        for (const auto& group : upload["payload"]["body"].value("ekv", json::array()))
            for (const auto& e : group.value(id, json::array())) events.push_back(e["id"]);
    EXPECT_EQ(events,
              (std::vector<std::string>{"playSound", "click_tab", "addFavorite", "playFavorite",
                                        "click_tab", "record_sound", "makeSound", "click_tab"}));

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

}  // namespace

// `--drive PHASE [--collector-db FILE]` is the program under a script;
// otherwise the tests run.
int main(int argc, char** argv) {
    std::string phase, db;
    for (int i = 1; i + 1 < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--drive") phase = argv[i + 1];
        if (a == "--collector-db") db = argv[i + 1];
    }
    if (!phase.empty()) return driveProgram(argc, argv, phase, db);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
