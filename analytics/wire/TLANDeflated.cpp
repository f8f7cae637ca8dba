#include "analytics/wire/TLANDeflated.h"

#include <zlib.h>

std::optional<std::vector<uint8_t>> TLANDeflated::deflatedData(const std::vector<uint8_t>& source) {
    return deflatedDataPrefixedWith({}, Z_DEFAULT_COMPRESSION, source);
}

std::optional<std::vector<uint8_t>> TLANDeflated::deflatedDataPrefixedWith(
    const std::vector<uint8_t>& prefix, int level, const std::vector<uint8_t>& source) {
    if (source.empty()) return std::nullopt;
    uLongf size = static_cast<uLongf>(source.size() * 1001 / 1000 + 12);
    // compressBound covers the worst case the classic estimate can miss.
    size = std::max<uLongf>(size, compressBound(static_cast<uLong>(source.size())));
    std::vector<uint8_t> out(prefix.size() + size);
    std::copy(prefix.begin(), prefix.end(), out.begin());
    if (compress2(out.data() + prefix.size(), &size, source.data(),
                  static_cast<uLong>(source.size()), level) != Z_OK) {
        return std::nullopt;
    }
    out.resize(prefix.size() + size);
    return out;
}

std::optional<std::vector<uint8_t>> TLANDeflated::inflatedData(const std::vector<uint8_t>& source,
                                                               size_t length) {
    std::vector<uint8_t> out(length);
    uLongf size = static_cast<uLongf>(length);
    if (uncompress(out.data(), &size, source.data(), static_cast<uLong>(source.size())) != Z_OK ||
        size != length) {
        return std::nullopt;
    }
    return out;
}
