#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "analytics/device/TLANProtocolData.h"
#include "analytics/support/TallyDigest.h"

// The SDK's facade of helpers and facts; device facts forward to
// TLANProtocolData.
class TLANUtil {
public:
    // MD5 as 32 upper-case hexadecimal digits.
    static std::string md5(std::string_view text) { return TallyDigest::md5Upper(text); }
    static std::string md5Lower(std::string_view text) { return TallyDigest::md5Lower(text); }
    static std::vector<uint8_t> md5Digest(const void* data, size_t size) {
        return TallyDigest::md5(data, size);
    }
    static std::string hexString(const std::vector<uint8_t>& bytes) {  // "%02x" per byte
        return TallyDigest::hexLower(bytes);
    }
    static std::string base64(const std::vector<uint8_t>& bytes);
    // Percent-escapes, in UTF-8, ! * ' ( ) ; : @ & = + $ , / ? % # [ ], the
    // double quote, the space and every byte a URL may not carry as it is.
    static std::string urlEncode(std::string_view text);

    // Local date and time of `unixSeconds`.
    static std::string dateString(double unixSeconds);        // "yyyy-MM-dd"
    static std::string timeString(double unixSeconds);        // "HH:mm:ss"
    static std::string timeMillisString(double unixSeconds);  // "HH:mm:ss.SSS"

    // A fresh random (version 4) UUID, upper-case.
    static std::string uuidString();

    static std::string deviceModel() { return TLANProtocolData::deviceModel(); }
    static std::string os() { return TLANProtocolData::os(); }
    static std::string osVersion() { return TLANProtocolData::osVersion(); }
    static std::string resolution() { return TLANProtocolData::resolution(); }
    static std::string macAddress() { return TLANProtocolData::macAddress(); }
    static std::string access() { return TLANProtocolData::accessString(); }
    static std::string accessSubtype() { return TLANProtocolData::accessSubtype(); }
    static std::string mccmnc() { return TLANProtocolData::mccmnc(); }
    static std::string carrier() { return TLANProtocolData::carrier(); }
    static std::string timezone() { return TLANProtocolData::timezone(); }
    static std::string language() { return TLANProtocolData::language(); }
    static std::string country() { return TLANProtocolData::country(); }
    static bool isJailbroken() { return TLANProtocolData::isJailbroken(); }
    static std::string isJailbrokenString() { return isJailbroken() ? "YES" : "NO"; }
    static std::string packageName() { return TLANProtocolData::packageName(); }
    static std::string displayName() { return TLANProtocolData::displayName(); }
    static std::string appVersion() { return TLANProtocolData::appVersion(); }
    static std::string vendorIdentifier() { return TLANProtocolData::vendorIdentifier(); }
    static bool isPad() { return TLANProtocolData::isPad(); }
    static std::string orientation() { return TLANProtocolData::orientation(); }
    static std::string companionDeviceId() { return TLANProtocolData::companionDeviceId(); }
    static bool isOverseas() { return TLANProtocolData::isOverseas(); }
};
