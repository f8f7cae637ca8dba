#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>
#include <nlohmann/json.hpp>

#include "tools/CliTest.h"

namespace {

// quellio-cli with a Library of its own and the shipped catalogue.
class CliCollection : public ::testing::Test {
protected:
    testsupport::TempDir home;
    std::string bundle = QUELLIO_SOURCE_RESOURCE_DIR "/SoundEffects";
    clitest::Cli cli{"QUELLIO_HOME='" + home.path() + "'", "--bundle '" + bundle + "'"};
};

}  // namespace

TEST_F(CliCollection, AddsListsAndRemovesBuiltInEffectsWritingOnlyWhenItChanges) {
    ASSERT_EQ(cli("catalogue --json").rc, 0);
    const auto catalogue = cli.json();
    const std::string category = catalogue[0]["category"];
    const std::string title = catalogue[0]["items"][0]["title"];
    const std::string path = catalogue[0]["items"][0]["path"];

    EXPECT_EQ(cli("collection --json").json(), nlohmann::json::array());
    EXPECT_EQ(cli("collection").rc, 0);
    EXPECT_FALSE(std::filesystem::exists(home.file("Library"))) << "a listing made files";
    EXPECT_EQ(cli("collection add '" + category + "' '" + title + "'").rc, 0);
    EXPECT_EQ(cli.out, "added row 0: " + title + "\n");
    EXPECT_EQ(cli("collection add '" + category + "' '" + title + "'").rc, 1) << "a duplicate";
    EXPECT_EQ(cli("collection add '" + category + "' 'no such effect'").rc, 1);
    const std::string file = home.file("Library/UserCollections/Customcollection.info");
    EXPECT_TRUE(std::filesystem::exists(file));

    auto listed = cli("collection --json").json();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0]["title"], title);
    EXPECT_EQ(listed[0]["category"], category);
    EXPECT_EQ(listed[0]["path"], path);
    EXPECT_EQ(listed[0]["userCustom"], false);

    EXPECT_EQ(cli("collection remove 1").rc, 1);
    EXPECT_EQ(cli("collection remove x").rc, 1);
    EXPECT_EQ(cli("collection remove 0").rc, 0);
    EXPECT_EQ(cli("collection --json").json(), nlohmann::json::array());

    // A collection file that is not a file cannot be saved over: no claim.
    std::filesystem::remove(file);
    std::filesystem::create_directories(file);
    EXPECT_EQ(cli("collection add '" + category + "' '" + title + "'").rc, 1);
    EXPECT_EQ(cli.out, "");
}

// The user's entry outlives the catalogue item it was copied from.
TEST_F(CliCollection, AnEntryWhoseSoundIsGoneIsListedAsSuch) {
    namespace fs = std::filesystem;
    bundle = home.file("SoundEffects");
    fs::copy(QUELLIO_SOURCE_RESOURCE_DIR "/SoundEffects", bundle, fs::copy_options::recursive);
    cli.options = "--bundle '" + bundle + "'";
    ASSERT_EQ(cli("catalogue --json").rc, 0);
    const auto catalogue = cli.json();
    const std::string category = catalogue[0]["category"];
    const std::string gone = catalogue[0]["items"][0]["title"];
    ASSERT_EQ(cli("collection add '" + category + "' '" + gone + "'").rc, 0);
    fs::remove(catalogue[0]["items"][0]["path"].get<std::string>());

    EXPECT_EQ(cli("collection").rc, 0);
    EXPECT_NE(cli.out.find("(sound file missing)"), std::string::npos) << cli.out;
    ASSERT_EQ(cli("collection --json").rc, 0);
    EXPECT_EQ(cli.json()[0]["available"], false);
    EXPECT_EQ(cli("collection add '" + category + "' '" + gone + "'").rc, 1) << "still a duplicate";
}

// Two command lines adding at once: each add reads, changes and writes the
// file under its lock, so none is lost.
TEST_F(CliCollection, ConcurrentAddsAllSurvive) {
    ASSERT_EQ(cli("catalogue --json").rc, 0);
    std::vector<std::pair<std::string, std::string>> effects;
    for (const auto& c : cli.json())
        for (const auto& item : c["items"]) effects.emplace_back(c["category"], item["title"]);
    ASSERT_GE(effects.size(), 40u);
    std::string script;
    for (int side = 0; side < 2; ++side) {
        script += "(";
        for (size_t i = side; i < 40; i += 2)
            script += "QUELLIO_HOME='" + home.path() + "' " QUELLIO_CLI " collection add '" +
                      effects[i].first + "' '" + effects[i].second + "' --bundle '" + bundle +
                      "' >/dev/null 2>&1 || echo failed; ";
        script += ") & ";
    }
    std::string out;
    testsupport::run(script + "wait", &out);
    EXPECT_EQ(out, "");
    ASSERT_EQ(cli("collection --json").rc, 0);
    EXPECT_EQ(cli.json().size(), 40u);
}

TEST_F(CliCollection, ImportsSoundFilesAndFailsOnRefusedOnes) {
    // No session bus: the files are written here.
    const std::string noBus = "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent";
    const std::string tone = home.file("Jingle.flac");
    clitest::sox("-n -r 48000 -c 2 '" + tone + "' synth 1 sine 440 vol 0.05 pad 0.5 0.5");
    EXPECT_EQ(cli("collection import '" + tone + "' --target -20", noBus).rc, 0);
    EXPECT_EQ(cli.out, "imported " + tone + " as Jingle\n");
    const std::string saved = home.file("Library/UserCollections/Custom/Jingle.caf");
    EXPECT_TRUE(std::filesystem::exists(saved));
    auto listed = cli("collection --json").json();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0]["title"], "Jingle");
    EXPECT_EQ(listed[0]["userCustom"], true);

    EXPECT_EQ(cli("collection import '" + tone + "'", noBus).rc, 1) << "the name is taken";
    EXPECT_EQ(cli("collection import '" + tone + "' --target -3", noBus).rc, 2);

    EXPECT_EQ(cli("collection import '" + tone + "' --replace --no-trim", noBus).rc, 0);
    EXPECT_EQ(cli("collection --json").json().size(), 1u);
}
