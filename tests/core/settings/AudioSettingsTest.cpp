#include <gtest/gtest.h>

#include "core/settings/QELAudioSettings.h"
#include "support/TestSupport.h"

namespace {

platform::SoundServerDevices machine() {
    platform::SoundServerDevices d;
    d.outputs = {{"speakers", "Speakers"}, {"headphones", "Headphones"}};
    d.inputs = {{"usb_mic", "USB Mic"}, {"speakers.monitor", "Monitor of Speakers", true}};
    return d;
}

}  // namespace

TEST(AudioSettings, ChoicesPersistAndMapToTheEngine) {
    testsupport::TempDir dir;
    const std::string file = dir.file("Preferences/defaults.plist");
    {
        platform::UserDefaults defaults(file);
        QELAudioSettings settings(defaults);
        settings.setRoutingEnabled(true);
        settings.setMonitorOutput("headphones");
        settings.setMonitorVolume(0.4f);
        settings.setStreamVolume(7.0f);  // clamped
        settings.setMixedMicrophone("usb_mic");
        settings.setMicrophoneVolume(0.5f);
        settings.setMakerInput("usb_mic");
    }
    platform::UserDefaults defaults(file);
    QELAudioSettings settings(defaults);
    const QELAudioSettings::Route route = settings.resolve(machine());
    EXPECT_TRUE(route.virtualMicrophone);
    EXPECT_EQ(route.streamSink, "quellio_effects");
    EXPECT_TRUE(route.monitor);
    EXPECT_EQ(route.monitorSink, "headphones");
    EXPECT_EQ(route.microphone, "usb_mic");
    EXPECT_EQ(route.makerInput, "usb_mic");
    EXPECT_TRUE(route.fellBack.empty());
    EXPECT_FLOAT_EQ(settings.microphoneVolume(), 0.5f);

    const platform::AudioEngineOptions options = settings.engineOptions(route);
    EXPECT_EQ(options.backend, platform::AudioEngineOptions::Backend::PulseAudio);
    EXPECT_EQ(options.route.streamSink, "quellio_effects");
    EXPECT_EQ(options.route.monitorSink, "headphones");
    EXPECT_FLOAT_EQ(options.route.monitorVolume, 0.4f);
    EXPECT_FLOAT_EQ(options.route.streamVolume, 1.0f);
    EXPECT_EQ(options.route.inputSource, "usb_mic");

    // Routing off: the chosen stream output, and no microphone mixed in.
    settings.setRoutingEnabled(false);
    settings.setStreamOutput("speakers");
    const auto off = settings.resolve(machine());
    EXPECT_EQ(off.streamSink, "speakers");
    EXPECT_EQ(off.microphone, "");
}

TEST(AudioSettings, DevicesThatHaveGoneFallBackWithoutBeingForgotten) {
    testsupport::TempDir dir;
    platform::UserDefaults defaults(dir.file("defaults.plist"));
    QELAudioSettings settings(defaults);
    settings.setStreamOutput("usb_headset");
    settings.setMonitorOutput("bluetooth");
    settings.setMakerInput("usb_headset_mic");
    const auto route = settings.resolve(machine());
    EXPECT_EQ(route.streamSink, "");
    EXPECT_TRUE(route.monitor);
    EXPECT_EQ(route.monitorSink, "");
    EXPECT_EQ(route.makerInput, "");
    ASSERT_EQ(route.fellBack.size(), 3u);
    EXPECT_NE(route.fellBack[0].find("usb_headset"), std::string::npos);
    EXPECT_NE(route.fellBack[1].find("bluetooth"), std::string::npos);
    EXPECT_EQ(settings.monitorOutput(), "bluetooth");

    settings.setRoutingEnabled(true);
    settings.setMixedMicrophone("gone_mic");
    const auto routed = settings.resolve(machine());
    EXPECT_EQ(routed.microphone, "");
    EXPECT_EQ(routed.fellBack.size(), 3u);  // the stream output is ours now
    EXPECT_EQ(routed.streamSink, "quellio_effects");
}
