#pragma once

#include <string>
#include <string_view>

namespace platform {

// Text equality as the platform compares strings: exact code points after
// canonical (NFC) normalisation, so "é" precomposed equals "e" + U+0301.
bool canonicallyEqual(std::string_view a, std::string_view b);

// The NFC form of `s` as UTF-8, for keys compared many times: two texts are
// canonically equal exactly when their forms are byte-equal. Invalid UTF-8
// has no canonical form and comes back unchanged.
std::string canonicalForm(std::string_view s);

}  // namespace platform
