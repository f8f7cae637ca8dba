#include <gtest/gtest.h>

#include "support/PulseServer.h"
#include "support/TestSupport.h"

namespace {

std::string cli(const testsupport::TempDir& home, const std::string& args, int* rc = nullptr) {
    std::string out;
    const int status = testsupport::run(
        "QUELLIO_HOME='" + home.path() + "' " + QUELLIO_CLI + " " + args + " 2>/dev/null", &out);
    if (rc) *rc = status;
    return out;
}

}  // namespace

TEST(CliRoute, SwitchesTheStoredRoutingAndListsTheServersDevices) {
    testsupport::TempDir home;
    testsupport::PulseServer server;
    ASSERT_TRUE(server.ready());
    EXPECT_NE(cli(home, "route status").find("virtual microphone: off"), std::string::npos);
    int rc = -1;
    cli(home, "route on", &rc);
    EXPECT_EQ(rc, 0);
    const std::string status = cli(home, "route status");
    EXPECT_NE(status.find("virtual microphone: on"), std::string::npos) << status;
    EXPECT_NE(status.find("stream output: quellio_effects at 100%"), std::string::npos) << status;
    EXPECT_NE(status.find("sound server: quellio_mic absent"), std::string::npos) << status;
    cli(home, "route off");
    EXPECT_NE(cli(home, "route status").find("virtual microphone: off"), std::string::npos);
    cli(home, "route sideways", &rc);
    EXPECT_NE(rc, 0);

    const std::string devices = cli(home, "devices");
    EXPECT_NE(devices.find("* speakers\tNull Output"), std::string::npos) << devices;
    server.stop(SIGTERM);
    EXPECT_NE(cli(home, "devices").find("the virtual microphone needs PipeWire or PulseAudio"),
              std::string::npos);
}
