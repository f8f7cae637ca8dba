#include <gtest/gtest.h>

#include "support/PulseServer.h"
#include "tools/CliTest.h"

TEST(CliRoute, SwitchesTheStoredRoutingAndListsTheServersDevices) {
    testsupport::TempDir home;
    testsupport::PulseServer server;
    ASSERT_TRUE(server.ready());
    clitest::Cli cli{"QUELLIO_HOME='" + home.path() + "'"};
    EXPECT_NE(cli("route status").out.find("virtual microphone: off"), std::string::npos);
    cli("route on");
    EXPECT_EQ(cli.rc, 0);
    const std::string status = cli("route status").out;
    EXPECT_NE(status.find("virtual microphone: on"), std::string::npos) << status;
    EXPECT_NE(status.find("stream output: quellio_effects at 100%"), std::string::npos) << status;
    EXPECT_NE(status.find("sound server: quellio_mic absent"), std::string::npos) << status;
    cli("route off");
    EXPECT_NE(cli("route status").out.find("virtual microphone: off"), std::string::npos);
    cli("route sideways");
    EXPECT_NE(cli.rc, 0);

    const std::string devices = cli("devices").out;
    EXPECT_NE(devices.find("* speakers\tNull Output"), std::string::npos) << devices;
    server.stop(SIGTERM);
    EXPECT_NE(cli("devices").out.find("the virtual microphone needs PipeWire or PulseAudio"),
              std::string::npos);
}
