#include <gtest/gtest.h>

#include "analytics/device/TLANUtil.h"
#include "analytics/support/TallyText.h"
#include "support/TestSupport.h"

using Data = TLANProtocolData;

TEST(TallyText, CutsNeverSplitACharacter) {
    EXPECT_EQ(TallyText::truncateBytes("ab声", 4), "ab");
    EXPECT_EQ(TallyText::truncateBytes("ab声", 5), "ab声");
    EXPECT_EQ(TallyText::truncateCharacters("a😀b", 2), "a");  // the emoji is two characters
    EXPECT_EQ(TallyText::characterCount("a😀b"), 4u);
    EXPECT_TRUE(TallyText::isBlank(" \u00a0\t"));
    EXPECT_FALSE(TallyText::isBlank(" a "));
    EXPECT_TRUE(TallyText::passesCharacterCheck("a0_声"));
    EXPECT_FALSE(TallyText::passesCharacterCheck("a/b"));
    EXPECT_FALSE(TallyText::passesCharacterCheck(""));
}

TEST(TLANUtil, HashesAndEncodings) {
    EXPECT_EQ(TLANUtil::md5("abc"), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(TLANUtil::md5Lower("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(TLANUtil::hexString({0x00, 0xab, 0x10}), "00ab10");
    EXPECT_EQ(TLANUtil::base64({'f', 'o', 'o', 'b'}), "Zm9vYg==");
    EXPECT_EQ(TLANUtil::urlEncode("a b\"!*'();:@&=+$,/?%#[]-_.~声"),
              "a%20b%22%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%25%23%5B%5D-_.~%E5%A3%B0");
    const std::string uuid = TLANUtil::uuidString();
    EXPECT_EQ(uuid.size(), 36u);
    EXPECT_EQ(uuid[14], '4');
}

TEST(TLANProtocolData, NetworkKind) {
    using I = Data::Interface;
    const I lo{"lo", true, true, true, false};
    const I wired{"eth0", true, true, false, false};
    const I wlan{"wlan0", true, true, false, true};
    const I wlanDown{"wlan1", false, true, false, true};
    const I wlanV6{"wlan2", true, false, false, true};
    const I modem{"wwan0", true, true, false, false, true};
    EXPECT_EQ(Data::accessName(Data::accessFor("x86_64", {})), "unknown");
    EXPECT_EQ(Data::accessName(Data::accessFor("x86_64", {lo, wlanDown, wlanV6})), "unknown");
    EXPECT_EQ(Data::accessName(Data::accessFor("x86_64", {lo, wired})), "wifi");
    EXPECT_EQ(Data::accessName(Data::accessFor("x86_64", {modem, wired})), "wifi");
    EXPECT_EQ(Data::accessName(Data::accessFor("x86_64", {lo, modem})), "2G/3G");
    EXPECT_EQ(Data::accessName(Data::accessFor("x86_64", {wired, wlan})), "wifi");
    EXPECT_EQ(Data::accessName(Data::accessFor("iPhone Simulator", {})), "wifi");
    EXPECT_EQ(Data::radioAccessSubtype("CTRadioAccessTechnologyLTE"), "LTE");
    EXPECT_EQ(Data::radioAccessSubtype("LTE"), "LTE");
    EXPECT_EQ(Data::radioAccessSubtype(""), "unknown");
}

TEST(TLANProtocolData, ScreenTimeZoneAndLocale) {
    EXPECT_EQ(Data::resolutionString(Data::Screen{320, 568, 2}), "1136*640");
    EXPECT_EQ(Data::resolutionString(Data::Screen{1920.7, 1080, 0}), "1080*1920");
    EXPECT_EQ(Data::resolutionString(std::nullopt), "");
    EXPECT_EQ(Data::timezoneString(-(3 * 3600 + 1800)), "-3");
    EXPECT_EQ(Data::timezoneString(5 * 3600 + 45 * 60), "5");
    EXPECT_EQ(Data::timezoneString(0), "0");
    EXPECT_EQ(Data::languageFromLocaleNames({"", "C.UTF-8", "zh_CN.UTF-8"}), "zh-CN");
    EXPECT_EQ(Data::languageFromLocaleNames({"POSIX"}), "");
    EXPECT_EQ(Data::countryFromLocaleName("de_AT.UTF-8@euro"), "AT");
    EXPECT_EQ(Data::countryFromLocaleName("en"), "");
    EXPECT_FALSE(Data::isOverseasFor("460", "US"));
    EXPECT_TRUE(Data::isOverseasFor("310", "CN"));
    EXPECT_FALSE(Data::isOverseasFor("", "CN"));
    EXPECT_TRUE(Data::isOverseasFor("", ""));
}

TEST(TLANProtocolData, HostFacts) {
    EXPECT_EQ(Data::osReleaseValue("NAME=\"Debian\"\nVERSION_ID=\"12\"\n", "VERSION_ID"), "12");
    EXPECT_EQ(Data::osReleaseValue("ID=debian\n", "VERSION_ID"), "");

    testsupport::TempDir root;
    EXPECT_FALSE(Data::isJailbroken(root.path()));
    testsupport::writeText(root.file("private/var/lib/apt/lists"), "");
    EXPECT_TRUE(Data::isJailbroken(root.path()));

    Data::setApplicationInfo({{"CFBundleIdentifier", platform::Value("com.zentrik.quellio")},
                              {"CFBundleShortVersionString", platform::Value("1.2")}});
    EXPECT_EQ(TLANUtil::packageName(), "com.zentrik.quellio");
    EXPECT_EQ(TLANUtil::appVersion(), "1.2");
    EXPECT_EQ(TLANUtil::displayName(), "");
    const std::string vendor = TLANUtil::vendorIdentifier();
    if (!vendor.empty()) {
        EXPECT_EQ(vendor.size(), 36u);
        EXPECT_EQ(vendor, TLANUtil::vendorIdentifier());
    }
}
