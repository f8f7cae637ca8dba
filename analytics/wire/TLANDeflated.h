#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// zlib streams (header and checksum) through compress2.
class TLANDeflated {
public:
    static std::optional<std::vector<uint8_t>> deflatedData(const std::vector<uint8_t>& source);
    // `prefix` goes in front of the compressed bytes.
    static std::optional<std::vector<uint8_t>> deflatedDataPrefixedWith(
        const std::vector<uint8_t>& prefix, int level, const std::vector<uint8_t>& source);
    // The inverse, for a stream known to inflate to exactly `length` bytes.
    static std::optional<std::vector<uint8_t>> inflatedData(const std::vector<uint8_t>& source,
                                                            size_t length);
};
