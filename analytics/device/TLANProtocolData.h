#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "foundation/Value.h"

// Device and application facts for the payload header, read from the host
// every time they are asked for. Sources on this platform: uname, the
// os-release file, getifaddrs and sysfs, the locale environment and the time
// zone database; what the host knows better (the screen, the application's
// information dictionary) it hands in. A fact without a source is empty.
class TLANProtocolData {
public:
    struct Screen {
        double width = 0;   // points
        double height = 0;  // points
        double scale = 0;   // 0 when the screen reports none
    };

    // One network interface address as getifaddrs lists it.
    struct Interface {
        std::string name;
        bool up = false;
        bool ipv4 = false;
        bool loopback = false;
        bool wireless = false;
        bool cellular = false;  // a mobile-broadband modem
    };

    enum class Access { None, WiFi, CellNetwork };

    // Host-provided facts; any thread.
    static void setScreen(std::optional<Screen> screen);
    static std::optional<Screen> screen();
    // CFBundleIdentifier, CFBundleDisplayName, CFBundleShortVersionString.
    // Until set, the "Info.plist" of the program's resources, if any.
    static void setApplicationInfo(platform::Value::Dictionary info);
    static platform::Value::Dictionary applicationInfo();

    static std::string deviceModel();  // uname machine
    static std::string os();           // uname system name
    static std::string osVersion();    // os-release VERSION_ID, else the kernel release
    static std::string resolution();
    static std::string macAddress() { return "02:00:00:00:00:00"; }
    static Access access();
    static std::string accessString();   // "wifi", "2G/3G" or "unknown"
    static std::string accessSubtype();  // no telephony here: "unknown"
    static std::string mccmnc() { return {}; }
    static std::string mobileCountryCode() { return {}; }
    static std::string carrier();
    static std::string timezone();
    static std::string language();
    static std::string country();
    static bool isJailbroken(const std::string& root = {});
    static std::string packageName();
    static std::string displayName();
    static std::string appVersion();
    // Stable per device and vendor: derived from the machine id and the
    // vendor part of the package name. Empty without a machine id.
    static std::string vendorIdentifier();
    static bool isPad() { return false; }
    static std::string orientation();
    static std::string companionDeviceId() { return {}; }
    static bool isOverseas();

    // The rules behind the facts, separate from their sources.
    static std::string resolutionString(const std::optional<Screen>& screen);
    static Access accessFor(const std::string& deviceModel,
                            const std::vector<Interface>& interfaces);
    static std::string accessName(Access access);
    static std::string radioAccessSubtype(const std::string& technology);
    static std::string timezoneString(long offsetFromGmtSeconds);
    // From LANGUAGE / LC_ALL / LC_MESSAGES / LANG style values, e.g.
    // "zh_CN.UTF-8" → "zh-CN"; "C" and "POSIX" name no language.
    static std::string languageFromLocaleNames(const std::vector<std::string>& names);
    static std::string countryFromLocaleName(const std::string& name);
    static bool isOverseasFor(const std::string& mobileCountryCode,
                              const std::string& localeCountry);
    static std::string osReleaseValue(const std::string& osReleaseText, const std::string& key);

    static std::vector<Interface> interfaces();
};
