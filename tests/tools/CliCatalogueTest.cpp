#include <gtest/gtest.h>

#include "foundation/PropertyList.h"
#include "support/TestSupport.h"

using platform::Value;

namespace {

std::string cli(const std::string& args) { return std::string(QUELLIO_CLI) + " " + args; }

}  // namespace

TEST(CliCatalogue, AMalformedBundleStopsWithItsMessageAndFails) {
    testsupport::TempDir dir;
    ASSERT_TRUE(platform::PropertyList::writeFile(dir.file("Bad.plist"), Value::Dictionary{{"category", "c"}},
                                                  platform::PropertyList::Format::Xml));
    std::string out;
    int status = testsupport::run(cli("catalogue --bundle " + dir.path() + " 2>&1"), &out);
    EXPECT_NE(status, 0);
    EXPECT_NE(out.find("Key of `list` not found or type error " + dir.file("Bad.plist")), std::string::npos) << out;

    EXPECT_NE(testsupport::run(cli("catalogue --bundle " + dir.file("absent") + " 2>&1"), &out), 0);
}

// Scripts and help2man rely on these: help and version on stdout with status
// 0, a usage error on stderr only, with status 2.
TEST(CliCatalogue, HelpAndVersionGoToStdoutAndUsageErrorsToStderrWithStatusTwo) {
    std::string out;
    auto run = [&](const std::string& args) {
        out.clear();
        return testsupport::run(cli(args), &out);
    };
    for (const char* help : {"--help", "-h"}) {
        ASSERT_EQ(run(std::string(help) + " 2>/dev/null"), 0) << help;
        EXPECT_EQ(out.rfind("Usage: quellio-cli COMMAND", 0), 0u) << help;
        EXPECT_NE(out.find("Exit status:"), std::string::npos) << help;
    }
    ASSERT_EQ(run("--version 2>/dev/null"), 0);
    EXPECT_EQ(out, "quellio-cli (Quellio) " QUELLIO_VERSION "\n");
    for (const std::string wrong :
         {"nonsense", "", "route", "play onlyone", "collection frobnicate"}) {
        EXPECT_EQ(run(wrong + " 2>/dev/null"), 2) << wrong;
        EXPECT_TRUE(out.empty()) << wrong;
        EXPECT_EQ(run(wrong + " 2>&1 >/dev/null"), 2) << wrong;
        EXPECT_NE(out.find("Usage: quellio-cli"), std::string::npos) << wrong;
    }
}
