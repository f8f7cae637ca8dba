// The whole program, run twice over one home as a user would: what the
// first run did reaches the analytics service (a local tally-collector) as
// one session, uploaded when the program starts again.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include <chrono>
#include <filesystem>

#include "core/catalogue/QELSoundEffect.h"
#include "core/settings/QELAudioSettings.h"
#include "foundation/Files.h"
#include "foundation/KeyedArchive.h"
#include "foundation/PropertyList.h"
#include "program/ProgramDriver.h"
#include "support/CollectorProcess.h"
#include "support/PulseServer.h"
#include "support/TestSupport.h"

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

// The names in the collection file, read as another process would.
std::vector<std::string> namesInFile(const std::string& path) {
    std::vector<std::string> names;
    auto bytes = platform::readFile(path);
    if (!bytes) return names;
    auto root =
        platform::KeyedUnarchiver::unarchiveObjectWithData(*bytes, QELSoundEffect::archiveClasses());
    if (!root || !root->isArray()) return names;
    for (const auto& item : *root->asArray())
        if (auto entry = item.asObject<QELCollectionSoundEffect>()) names.push_back(entry->name());
    return names;
}

// The running program and quellio-cli add to one collection in turn: each
// sees the other's additions and neither loses any, and the program's last
// one is written when it quits. Temporaries a killed save left are gone
// once the program has started.
TEST(ProgramTest, TheProgramAndTheCommandLineShareOneCollection) {
    namespace fs = std::filesystem;
    testsupport::TempDir dir;
    const std::string home = dir.file("home");
    const std::string bundle = dir.file("SoundEffects");
    std::string sound;
    for (const auto& e :
         fs::recursive_directory_iterator(QUELLIO_SOURCE_RESOURCE_DIR "/SoundEffects"))
        if (sound.empty() && e.path().extension() == ".flac") sound = e.path().string();
    ASSERT_FALSE(sound.empty());
    platform::Value::Array list;
    fs::create_directories(bundle + "/Shared");
    for (int i = 0; i < kSharedAdds; ++i) {
        const std::string name = "e" + std::to_string(i);
        list.push_back(platform::Value::Dictionary{{"fileName", name + ".flac"}, {"title", name}});
        fs::create_symlink(sound, bundle + "/Shared/" + name + ".flac");
    }
    ASSERT_TRUE(platform::PropertyList::writeFile(
        bundle + "/Shared.plist",
        platform::Value::Dictionary{{"category", "共享"}, {"index", 1}, {"list", list}},
        platform::PropertyList::Format::Xml));
    const std::string collection = home + "/Library/UserCollections/Customcollection.info";
    const std::vector<std::string> leftovers = {
        home + "/Library/UserCollections/.Customcollection.info.AbC123",
        home + "/Library/.tally/.1733500000000_envelope.log.XyZ789"};
    for (const auto& file : leftovers) testsupport::writeText(file, "killed mid-write");

    ChildProcess driver({self(), "--drive", "share"},
                        {"QUELLIO_HOME=" + home, "QT_QPA_PLATFORM=offscreen",
                         "QUELLIO_AUDIO_BACKEND=null", "QUELLIO_SOUND_EFFECTS=" + bundle});
    ASSERT_TRUE(driver.running());
    auto holds = [&](const std::string& name) {
        const auto names = namesInFile(collection);
        return std::ranges::find(names, name) != names.end();
    };
    for (int i = 0; i < kSharedAdds; ++i) {
        std::string out;
        ASSERT_EQ(testsupport::run("QUELLIO_HOME='" + home + "' " QUELLIO_CLI
                                   " collection add 共享 e" + std::to_string(i) + " --bundle '" +
                                       bundle + "'",
                                   &out),
                  0)
            << out;
        if (i + 1 == kSharedAdds) break;  // the last answer is written at the quit
        const std::string ours = "p" + std::to_string(i);
        ASSERT_FALSE(driver.waitForLine("step: wrote " + ours, std::chrono::seconds(60)).empty());
        ASSERT_TRUE(holds(ours)) << "the program's answer to e" << i;
    }
    std::string steps;
    const int status = driver.waitForExit(std::chrono::seconds(120), &steps);
    ASSERT_TRUE(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the program ended with status " << status << " after:\n"
        << steps;

    const auto names = namesInFile(collection);
    EXPECT_EQ(names.size(), 2u * kSharedAdds);
    for (int i = 0; i < kSharedAdds; ++i)
        for (const char* who : {"e", "p"})
            EXPECT_EQ(std::ranges::count(names, who + std::to_string(i)), 1) << who << i;
    for (const auto& file : leftovers) EXPECT_FALSE(fs::exists(file)) << file;
}

// With the virtual microphone switched on, a board effect tapped in the
// program is heard by another program recording "Quellio 虚拟麦克风", and
// nothing of ours stays in the sound server, whether the program is killed
// or quits.
TEST(ProgramTest, ATappedEffectReachesTheVirtualMicrophoneAndNothingIsLeftBehind) {
    testsupport::TempDir dir;
    testsupport::PulseServer server;
    ASSERT_TRUE(server.ready());
    const std::string home = dir.file("home");
    {
        platform::UserDefaults defaults(home + "/Library/Preferences/com.zentrik.quellio.plist");
        QELAudioSettings settings(defaults);
        settings.setRoutingEnabled(true);
        settings.setMonitorOutput("speakers");
    }
    // Large blocks: a busy test machine must not drop out.
    const std::vector<std::string> env = {"QUELLIO_HOME=" + home, "QT_QPA_PLATFORM=offscreen",
                                          "QUELLIO_BUFFER_FRAMES=1024"};

    {
        ChildProcess killed({self(), "--drive", "hold"}, env);
        ASSERT_FALSE(killed.waitForLine("step: routed", std::chrono::seconds(60)).empty());
        EXPECT_EQ(testsupport::PulseServer::ourModules(), 2);
        killed.kill(SIGKILL);
    }
    EXPECT_EQ(testsupport::PulseServer::ourModules(), 2) << "a killed run cannot clean up";

    ChildProcess driver({self(), "--drive", "route"}, env);
    ASSERT_FALSE(driver.waitForLine("step: routed", std::chrono::seconds(60)).empty());
    EXPECT_EQ(testsupport::PulseServer::ourModules(), 2) << "the killed run's pair is gone";
    testsupport::Recording mic("quellio_mic", dir.file("mic.raw"), 3 * 44100);
    const std::string played = driver.waitForLine("played: ", std::chrono::seconds(60));
    ASSERT_FALSE(played.empty());
    std::string steps;
    const int status = driver.waitForExit(std::chrono::seconds(60), &steps);
    ASSERT_TRUE(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0) << steps;
    EXPECT_EQ(testsupport::PulseServer::ourModules(), 0);
    EXPECT_EQ(server.pactl("get-default-source"), "speakers.monitor\n");

    std::string raw;
    ASSERT_EQ(testsupport::run(
                  "sox '" + played.substr(8) + "' -r 44100 -c 1 -t f32 -e floating-point -", &raw),
              0);
    std::vector<float> sound(raw.size() / 4);
    std::memcpy(sound.data(), raw.data(), sound.size() * 4);
    EXPECT_GT(testsupport::findIn(mic.samples(), sound).first, 0.95);
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
