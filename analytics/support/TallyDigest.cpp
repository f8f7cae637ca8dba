#include "analytics/support/TallyDigest.h"

#include <openssl/evp.h>

namespace {

std::string hexDigits(const std::vector<uint8_t>& bytes, bool upper) {
    static const char* lower = "0123456789abcdef";
    static const char* upperDigits = "0123456789ABCDEF";
    const char* digits = upper ? upperDigits : lower;
    std::string out;
    out.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 0xF]);
    }
    return out;
}

}  // namespace

namespace TallyDigest {

std::vector<uint8_t> md5(const void* data, size_t size) {
    std::vector<uint8_t> digest(EVP_MAX_MD_SIZE);
    unsigned int length = 0;
    if (EVP_Digest(data, size, digest.data(), &length, EVP_md5(), nullptr) != 1) return {};
    digest.resize(length);
    return digest;
}

std::string md5Upper(std::string_view text) {
    return hexDigits(md5(text.data(), text.size()), true);
}

std::string md5Lower(std::string_view text) {
    return hexDigits(md5(text.data(), text.size()), false);
}

std::string hexLower(const std::vector<uint8_t>& bytes) {
    return hexDigits(bytes, false);
}

}  // namespace TallyDigest
