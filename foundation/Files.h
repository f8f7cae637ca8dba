#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Whole-file helpers. Every file that holds user data is written through
// writeFileAtomically, so a crash or a full disk never leaves it half-written.

// Reads a whole file; nullopt (and `error` set) when it cannot be read.
std::optional<std::vector<uint8_t>> readFile(const std::string& path, std::string* error = nullptr);

// Where a write to `path` lands: a symbolic link is followed (the link
// stays, its target is replaced). nullopt (and `error` set) when the target
// exists and is not a regular file: a device, folder, socket or FIFO is
// never replaced by a file of ours.
std::optional<std::string> resolveWriteTarget(const std::string& path,
                                              std::string* error = nullptr);

// Writes to a temporary file in the target's directory (see
// resolveWriteTarget), flushes it to disk and renames it over the target.
// On failure the old file is untouched, the temporary is removed and
// `error` says why.
bool writeFileAtomically(const std::string& path, const void* data, size_t size,
                         std::string* error = nullptr);
inline bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                                std::string* error = nullptr) {
    return writeFileAtomically(path, bytes.data(), bytes.size(), error);
}

// Keeps the current content of `path` as `path`.damaged before the caller
// overwrites a file it could not take over whole. Older copies move on to
// .damaged.1 ... .damaged.4; the oldest beyond those is dropped.
inline constexpr int kDamagedCopiesKept = 5;
bool keepDamagedCopy(const std::string& path, std::string* error = nullptr);
std::string damagedCopyPath(const std::string& path, int generation = 0);

// Removes the temporaries that writeFileAtomically leaves when the process
// is killed mid-write (".NAME.XXXXXX" in `dir`) for every NAME that
// `isTarget` accepts. Call it where no other writer of those files can be
// at work (at start, or under the file's lock). Returns how many went.
size_t removeLeftoverTemporaries(const std::string& dir,
                                 const std::function<bool(const std::string& name)>& isTarget);

// What tells one version of a file from another without reading it: every
// atomic write makes a new inode with its own times.
struct FileStamp {
    uint64_t device = 0, inode = 0;
    int64_t size = 0, modifiedNs = 0, changedNs = 0;
    bool operator==(const FileStamp&) const = default;
};
// nullopt when there is no file at `path` (links are followed).
std::optional<FileStamp> fileStamp(const std::string& path);

// Creates a directory and its parents; true when it exists afterwards.
bool createDirectories(const std::string& path, std::string* error = nullptr);

}  // namespace platform
