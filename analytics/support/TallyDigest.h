#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// MD5 digests and hexadecimal text, as the wire format and the device
// identifier spell them.
namespace TallyDigest {

std::vector<uint8_t> md5(const void* data, size_t size);
// 32 hexadecimal digits, upper or lower case.
std::string md5Upper(std::string_view text);
std::string md5Lower(std::string_view text);
// "%02x" per byte.
std::string hexLower(const std::vector<uint8_t>& bytes);

}  // namespace TallyDigest
