#include "analytics/device/TLANUtil.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cmath>
#include <cstring>
#include <ctime>
#include <random>

#include "analytics/support/TallyLog.h"

namespace {

std::tm localTime(double unixSeconds) {
    const auto seconds = static_cast<std::time_t>(std::floor(unixSeconds));
    std::tm tm{};
    localtime_r(&seconds, &tm);
    return tm;
}

}  // namespace

std::string TLANUtil::base64(const std::vector<uint8_t>& bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), bytes.data(),
                                  static_cast<int>(bytes.size()));
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

std::string TLANUtil::urlEncode(std::string_view text) {
    static const char* reserved = "!*'();:@&=+$,/?%#[]\" ";
    static const char* unsafe = "<>\\^`{|}";
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x21 || b >= 0x7F || std::strchr(reserved, ch) || std::strchr(unsafe, ch)) {
            out += TLFormat("%%%02X", b);
        } else {
            out.push_back(ch);
        }
    }
    return out;
}

std::string TLANUtil::dateString(double unixSeconds) {
    const std::tm tm = localTime(unixSeconds);
    return TLFormat("%04d-%02d-%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

std::string TLANUtil::timeString(double unixSeconds) {
    const std::tm tm = localTime(unixSeconds);
    return TLFormat("%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
}

std::string TLANUtil::timeMillisString(double unixSeconds) {
    const std::tm tm = localTime(unixSeconds);
    const int millis = static_cast<int>((unixSeconds - std::floor(unixSeconds)) * 1000) % 1000;
    return TLFormat("%02d:%02d:%02d.%03d", tm.tm_hour, tm.tm_min, tm.tm_sec, millis);
}

std::string TLANUtil::uuidString() {
    uint8_t b[16];
    if (RAND_bytes(b, sizeof b) != 1) {
        std::random_device device;
        for (auto& x : b) x = static_cast<uint8_t>(device());
    }
    b[6] = static_cast<uint8_t>((b[6] & 0x0F) | 0x40);
    b[8] = static_cast<uint8_t>((b[8] & 0x3F) | 0x80);
    return TLFormat("%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[0],
                    b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12],
                    b[13], b[14], b[15]);
}
