#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "support/TestSupport.h"

namespace {

// Runs quellio-cli with a Library of its own and the shipped catalogue.
struct Cli {
    testsupport::TempDir home;
    int rc = 0;
    std::string out;

    Cli& operator()(const std::string& args) {
        out.clear();
        rc = testsupport::run("QUELLIO_HOME='" + home.path() + "' " + QUELLIO_CLI + " " + args +
                                  " --bundle " QUELLIO_SOURCE_RESOURCE_DIR
                                  "/SoundEffects 2>/dev/null",
                              &out);
        return *this;
    }
    nlohmann::json json() { return nlohmann::json::parse(out); }
};

}  // namespace

TEST(CliCollection, AddsListsAndRemovesBuiltInEffects) {
    Cli cli;
    ASSERT_EQ(cli("catalogue --json").rc, 0);
    const auto catalogue = cli.json();
    const std::string category = catalogue[0]["category"];
    const std::string title = catalogue[0]["items"][0]["title"];
    const std::string path = catalogue[0]["items"][0]["path"];

    EXPECT_EQ(cli("collection --json").json(), nlohmann::json::array());
    EXPECT_EQ(cli("collection add '" + category + "' '" + title + "'").rc, 0);
    EXPECT_EQ(cli.out, "added row 0: " + title + "\n");
    EXPECT_EQ(cli("collection add '" + category + "' '" + title + "'").rc, 1) << "a duplicate";
    EXPECT_EQ(cli("collection add '" + category + "' 'no such effect'").rc, 1);
    EXPECT_TRUE(std::filesystem::exists(cli.home.path() +
                                        "/Library/UserCollections/Customcollection.info"));

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
    EXPECT_EQ(cli("collection frobnicate").rc, 2);
}
