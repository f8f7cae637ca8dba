#pragma once

#include <compare>
#include <cstdint>
#include <string>

namespace platform {

// Addresses one item of a sectioned list.
struct IndexPath {
    int64_t section = 0;
    int64_t row = 0;

    friend auto operator<=>(const IndexPath&, const IndexPath&) = default;
    // Appends rather than chaining operator+ on a literal, which GCC 12 at -O2
    // misreports as overlapping copies (-Wrestrict).
    std::string description() const {
        std::string text(1, '(');
        text += std::to_string(section);
        text += ", ";
        text += std::to_string(row);
        text += ')';
        return text;
    }
};

}  // namespace platform
