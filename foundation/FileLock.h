#pragma once

#include <optional>
#include <string>

namespace platform {

// An advisory lock (flock) on a lock file, held until the object goes: lets
// processes that share a file take turns at reading, changing and writing
// it. Blocks until the lock is free.
class FileLock {
public:
    // Takes the lock on `path`, creating the file if needed; nullopt (and
    // `error` set) when the file cannot be opened or locked.
    static std::optional<FileLock> acquire(const std::string& path, std::string* error = nullptr);

    FileLock(FileLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    FileLock& operator=(FileLock&&) = delete;
    FileLock(const FileLock&) = delete;
    ~FileLock();

private:
    explicit FileLock(int fd) : fd_(fd) {}
    int fd_;
};

}  // namespace platform
