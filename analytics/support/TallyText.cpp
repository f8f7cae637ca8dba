#include "analytics/support/TallyText.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdint>

namespace TallyText {

namespace {

// Calls `visit(codePoint, start, end)` for each character; stops when it
// returns false. Invalid sequences come as U+FFFD.
template <class Visit>
void forEachCharacter(std::string_view text, Visit visit) {
    const auto* s = reinterpret_cast<const uint8_t*>(text.data());
    const int32_t length = static_cast<int32_t>(text.size());
    int32_t i = 0;
    while (i < length) {
        const int32_t start = i;
        UChar32 c;
        U8_NEXT(s, i, length, c);
        if (c < 0) c = 0xFFFD;
        if (!visit(c, static_cast<size_t>(start), static_cast<size_t>(i))) return;
    }
}

size_t utf16Units(UChar32 c) {
    return c > 0xFFFF ? 2 : 1;
}

}  // namespace

bool isBlank(std::string_view text) {
    bool blank = true;
    forEachCharacter(text, [&](UChar32 c, size_t, size_t) {
        blank = u_isUWhiteSpace(c);
        return blank;
    });
    return blank;
}

std::string truncateBytes(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) return std::string(text);
    size_t cut = 0;
    forEachCharacter(text, [&](UChar32, size_t, size_t end) {
        if (end > maxBytes) return false;
        cut = end;
        return true;
    });
    return std::string(text.substr(0, cut));
}

size_t characterCount(std::string_view text) {
    size_t count = 0;
    forEachCharacter(text, [&](UChar32 c, size_t, size_t) {
        count += utf16Units(c);
        return true;
    });
    return count;
}

std::string truncateCharacters(std::string_view text, size_t maxCharacters) {
    size_t count = 0;
    size_t cut = 0;
    forEachCharacter(text, [&](UChar32 c, size_t, size_t end) {
        if (count + utf16Units(c) > maxCharacters) return false;
        count += utf16Units(c);
        cut = end;
        return true;
    });
    return std::string(text.substr(0, cut));
}

bool passesCharacterCheck(std::string_view text) {
    if (text.empty()) return false;
    bool ok = true;
    forEachCharacter(text, [&](UChar32 c, size_t, size_t) {
        ok = c >= '0';
        return ok;
    });
    return ok;
}

}  // namespace TallyText
