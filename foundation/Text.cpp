#include "foundation/Text.h"

#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <vector>

namespace platform {

namespace {

bool isAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// NFC form as UTF-16, or empty with ok=false for invalid UTF-8.
std::u16string nfc(std::string_view s, bool& ok) {
    ok = false;
    UErrorCode err = U_ZERO_ERROR;
    int32_t len = 0;
    u_strFromUTF8(nullptr, 0, &len, s.data(), static_cast<int32_t>(s.size()), &err);
    if (err != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(err)) return {};
    std::u16string utf16(static_cast<size_t>(len), u'\0');
    err = U_ZERO_ERROR;
    u_strFromUTF8(utf16.data(), len, nullptr, s.data(), static_cast<int32_t>(s.size()), &err);
    if (U_FAILURE(err)) return {};

    const UNormalizer2* norm = unorm2_getNFCInstance(&err);
    if (U_FAILURE(err)) return {};
    std::u16string out(utf16.size() * 3 + 1, u'\0');
    int32_t n = unorm2_normalize(norm, utf16.data(), len, out.data(), static_cast<int32_t>(out.size()), &err);
    if (U_FAILURE(err)) return {};
    out.resize(static_cast<size_t>(n));
    ok = true;
    return out;
}

}  // namespace

std::string canonicalForm(std::string_view s) {
    if (isAscii(s)) return std::string(s);
    bool ok = false;
    const std::u16string n = nfc(s, ok);
    if (!ok) return std::string(s);
    UErrorCode err = U_ZERO_ERROR;
    int32_t len = 0;
    u_strToUTF8(nullptr, 0, &len, n.data(), static_cast<int32_t>(n.size()), &err);
    if (err != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(err)) return std::string(s);
    std::string out(static_cast<size_t>(len), '\0');
    err = U_ZERO_ERROR;
    u_strToUTF8(out.data(), len, nullptr, n.data(), static_cast<int32_t>(n.size()), &err);
    return U_FAILURE(err) ? std::string(s) : out;
}

bool canonicallyEqual(std::string_view a, std::string_view b) {
    if (a == b) return true;
    // Differing ASCII texts can never be made equal by normalisation.
    if (isAscii(a) && isAscii(b)) return false;
    bool okA = false, okB = false;
    std::u16string na = nfc(a, okA);
    std::u16string nb = nfc(b, okB);
    // Invalid UTF-8 has no canonical form; only identical bytes are equal.
    if (!okA || !okB) return false;
    return na == nb;
}

}  // namespace platform
