#pragma once

#include <string>
#include <string_view>

namespace platform {

// Text equality as the platform compares strings: exact code points after
// canonical (NFC) normalisation, so "é" precomposed equals "e" + U+0301.
bool canonicallyEqual(std::string_view a, std::string_view b);

}  // namespace platform
