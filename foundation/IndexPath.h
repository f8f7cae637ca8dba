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
    std::string description() const {
        return "(" + std::to_string(section) + ", " + std::to_string(row) + ")";
    }
};

}  // namespace platform
