#include "analytics/device/TLANProtocolData.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/utsname.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "analytics/support/TallyDigest.h"
#include "analytics/support/TallyLog.h"
#include "foundation/Bundle.h"
#include "foundation/PropertyList.h"

namespace {

std::mutex& hostMutex() {
    static std::mutex m;
    return m;
}
std::optional<TLANProtocolData::Screen> gScreen;
std::optional<platform::Value::Dictionary> gApplicationInfo;

utsname systemName() {
    utsname u{};
    if (::uname(&u) != 0) return utsname{};
    return u;
}

std::string readText(const std::string& path) {
    std::ifstream in(path);
    if (!in) return {};
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

bool exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

std::string infoString(const char* key) {
    const auto info = TLANProtocolData::applicationInfo();
    auto it = info.find(key);
    if (it == info.end() || !it->second.isString()) return {};
    return *it->second.asString();
}

// The locale name with its encoding and modifier removed; empty for the
// portable locales, which name no language.
std::string bareLocale(const std::string& name) {
    std::string bare = name.substr(0, name.find_first_of(".@"));
    if (bare == "C" || bare == "POSIX") return {};
    return bare;
}

std::vector<std::string> localeNames() {
    std::vector<std::string> names;
    std::stringstream languages(env("LANGUAGE"));
    for (std::string item; std::getline(languages, item, ':');) names.push_back(item);
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) names.push_back(env(var));
    return names;
}

}  // namespace

void TLANProtocolData::setScreen(std::optional<Screen> screen) {
    std::lock_guard lock(hostMutex());
    gScreen = screen;
}

std::optional<TLANProtocolData::Screen> TLANProtocolData::screen() {
    std::lock_guard lock(hostMutex());
    return gScreen;
}

void TLANProtocolData::setApplicationInfo(platform::Value::Dictionary info) {
    std::lock_guard lock(hostMutex());
    gApplicationInfo = std::move(info);
}

platform::Value::Dictionary TLANProtocolData::applicationInfo() {
    std::lock_guard lock(hostMutex());
    if (!gApplicationInfo) {
        gApplicationInfo.emplace();
        if (auto path = platform::Bundle::main().pathForResource("Info", "plist")) {
            if (auto root = platform::PropertyList::readFile(*path)) {
                if (auto* dict = root->asDictionary()) *gApplicationInfo = *dict;
            }
        }
    }
    return *gApplicationInfo;
}

std::string TLANProtocolData::deviceModel() {
    return systemName().machine;
}

std::string TLANProtocolData::os() {
    return systemName().sysname;
}

std::string TLANProtocolData::osVersion() {
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        std::string version = osReleaseValue(readText(path), "VERSION_ID");
        if (!version.empty()) return version;
    }
    return systemName().release;
}

std::string TLANProtocolData::osReleaseValue(const std::string& text, const std::string& key) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.compare(0, key.size() + 1, key + "=") != 0) continue;
        std::string value = line.substr(key.size() + 1);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        return value;
    }
    return {};
}

std::string TLANProtocolData::resolution() {
    return resolutionString(screen());
}

std::string TLANProtocolData::resolutionString(const std::optional<Screen>& screen) {
    if (!screen || screen->width <= 0 || screen->height <= 0) return {};
    const double scale = screen->scale > 0 ? screen->scale : 1;
    return TLFormat("%d*%d", static_cast<int>(screen->height * scale),
                    static_cast<int>(screen->width * scale));
}

TLANProtocolData::Access TLANProtocolData::access() {
    return accessFor(deviceModel(), interfaces());
}

std::string TLANProtocolData::accessString() {
    return accessName(access());
}

TLANProtocolData::Access TLANProtocolData::accessFor(const std::string& model,
                                                     const std::vector<Interface>& interfaces) {
    if (model == "iPhone Simulator") return Access::WiFi;
    bool cellular = false;
    for (const Interface& i : interfaces) {
        // The loopback interface is up on every host and says nothing of the
        // network the device is on.
        if (!i.up || !i.ipv4 || i.loopback) continue;
        // Only a mobile-broadband modem is a cellular network; a wired LAN
        // counts as Wi-Fi does.
        if (!i.cellular) return Access::WiFi;
        cellular = true;
    }
    return cellular ? Access::CellNetwork : Access::None;
}

std::string TLANProtocolData::accessName(Access access) {
    switch (access) {
        case Access::WiFi:
            return "wifi";
        case Access::CellNetwork:
            return "2G/3G";
        case Access::None:
            break;
    }
    return "unknown";
}

std::vector<TLANProtocolData::Interface> TLANProtocolData::interfaces() {
    std::vector<Interface> out;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return out;
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_name) continue;
        Interface i;
        i.name = a->ifa_name;
        i.up = (a->ifa_flags & IFF_UP) != 0;
        i.loopback = (a->ifa_flags & IFF_LOOPBACK) != 0;
        i.ipv4 = a->ifa_addr && a->ifa_addr->sa_family == AF_INET;
        const std::string sys = "/sys/class/net/" + i.name;
        i.wireless = exists(sys + "/wireless") || exists(sys + "/phy80211");
        i.cellular = i.name.rfind("wwan", 0) == 0 || [&] {
            std::ifstream uevent(sys + "/uevent");
            for (std::string line; std::getline(uevent, line);)
                if (line == "DEVTYPE=wwan") return true;
            return false;
        }();
        out.push_back(std::move(i));
    }
    ::freeifaddrs(list);
    return out;
}

std::string TLANProtocolData::accessSubtype() {
    return radioAccessSubtype({});
}

std::string TLANProtocolData::radioAccessSubtype(const std::string& technology) {
    static const std::string prefix = "CTRadioAccessTechnology";
    if (technology.empty()) return "unknown";
    if (technology.compare(0, prefix.size(), prefix) == 0) return technology.substr(prefix.size());
    return technology;
}

// The carrier comes only from a phone's telephony framework, which a desktop
// host does not have.
std::string TLANProtocolData::carrier() {
    return {};
}

std::string TLANProtocolData::timezone() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return timezoneString(tm.tm_gmtoff);
}

std::string TLANProtocolData::timezoneString(long offset) {
    return TLFormat("%ld", offset / 3600);
}

std::string TLANProtocolData::language() {
    return languageFromLocaleNames(localeNames());
}

std::string TLANProtocolData::languageFromLocaleNames(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        std::string bare = bareLocale(name);
        if (bare.empty()) continue;
        for (char& c : bare) {
            if (c == '_') c = '-';
        }
        return bare;
    }
    return {};
}

std::string TLANProtocolData::country() {
    for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        std::string c = countryFromLocaleName(env(var));
        if (!c.empty()) return c;
    }
    return {};
}

std::string TLANProtocolData::countryFromLocaleName(const std::string& name) {
    const std::string bare = bareLocale(name);
    const auto underscore = bare.find('_');
    return underscore == std::string::npos ? std::string() : bare.substr(underscore + 1);
}

bool TLANProtocolData::isJailbroken(const std::string& root) {
    return exists(root + "/Applications/Cydia.app") || exists(root + "/private/var/lib/apt/");
}

std::string TLANProtocolData::packageName() {
    return infoString("CFBundleIdentifier");
}
std::string TLANProtocolData::displayName() {
    return infoString("CFBundleDisplayName");
}
std::string TLANProtocolData::appVersion() {
    return infoString("CFBundleShortVersionString");
}

std::string TLANProtocolData::vendorIdentifier() {
    std::string machine;
    for (const char* path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
        machine = readText(path);
        while (!machine.empty() && (machine.back() == '\n' || machine.back() == ' '))
            machine.pop_back();
        if (!machine.empty()) break;
    }
    if (machine.empty()) return {};
    const std::string package = packageName();
    const std::string vendor = package.substr(0, package.rfind('.'));
    const std::string h = TallyDigest::md5Upper(vendor + "/" + machine);
    return h.substr(0, 8) + "-" + h.substr(8, 4) + "-" + h.substr(12, 4) + "-" + h.substr(16, 4) +
           "-" + h.substr(20);
}

std::string TLANProtocolData::orientation() {
    const auto s = screen();
    return s && s->height > s->width ? "0" : "1";
}

bool TLANProtocolData::isOverseas() {
    return isOverseasFor(mobileCountryCode(), country());
}

bool TLANProtocolData::isOverseasFor(const std::string& mcc, const std::string& localeCountry) {
    if (!mcc.empty()) return mcc != "460" && mcc != "461";
    return localeCountry != "CN";
}
