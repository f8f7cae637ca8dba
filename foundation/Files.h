#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Whole-file helpers. Every file that holds user data is written through
// writeFileAtomically, so a crash or a full disk never leaves it half-written.

// Reads a whole file; nullopt (and `error` set) when it cannot be read.
std::optional<std::vector<uint8_t>> readFile(const std::string& path, std::string* error = nullptr);

// Writes to a temporary file in the same directory, flushes it to disk and
// renames it over `path`. On failure the old file is untouched, the
// temporary is removed and `error` says why.
bool writeFileAtomically(const std::string& path, const void* data, size_t size,
                         std::string* error = nullptr);
inline bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                                std::string* error = nullptr) {
    return writeFileAtomically(path, bytes.data(), bytes.size(), error);
}

// Creates a directory and its parents; true when it exists afterwards.
bool createDirectories(const std::string& path, std::string* error = nullptr);

}  // namespace platform
