#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// UTF-8 text rules of the SDK's validation. Lengths in "characters" count
// UTF-16 code units, as the platform's strings measure them; invalid bytes
// count as one replacement character each.
namespace TallyText {

// Empty, or nothing but white space and line breaks.
bool isBlank(std::string_view text);

// At most `maxBytes` bytes, cut before the first character that does not fit
// whole, so the result stays valid UTF-8.
std::string truncateBytes(std::string_view text, size_t maxBytes);

size_t characterCount(std::string_view text);
// At most `maxCharacters` characters, never splitting one.
std::string truncateCharacters(std::string_view text, size_t maxCharacters);

// Not empty, and no character below '0' (white space and the punctuation
// before the digits fail).
bool passesCharacterCheck(std::string_view text);

}  // namespace TallyText
