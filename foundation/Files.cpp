#include "foundation/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace platform {

namespace {

void setError(std::string* error, const std::string& what, const std::string& path, int err) {
    if (error) *error = what + " " + path + ": " + std::strerror(err);
}

}  // namespace

std::optional<std::vector<uint8_t>> readFile(const std::string& path, std::string* error) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        setError(error, "cannot open", path, errno);
        return std::nullopt;
    }
    struct stat st {};
    std::vector<uint8_t> bytes;
    if (::fstat(fd, &st) == 0 && st.st_size > 0) bytes.reserve(static_cast<size_t>(st.st_size));
    // Read to the end rather than trusting the size: the file may change.
    uint8_t buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            setError(error, "cannot read", path, err);
            return std::nullopt;
        }
        bytes.insert(bytes.end(), buf, buf + n);
    }
    ::close(fd);
    return bytes;
}

std::optional<std::string> resolveWriteTarget(const std::string& path, std::string* error) {
    namespace fs = std::filesystem;
    fs::path target(path);
    // Follows a chain of links by hand: the last one may dangle, and the
    // file is then created where it points.
    for (int hops = 0;; ++hops) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0) {
            if (errno == ENOENT) return target.string();
            setError(error, "cannot examine", target.string(), errno);
            return std::nullopt;
        }
        if (S_ISREG(st.st_mode)) return target.string();
        if (!S_ISLNK(st.st_mode)) {
            if (error) *error = target.string() + " exists and is not a regular file";
            return std::nullopt;
        }
        if (hops == 40) {
            setError(error, "cannot follow", path, ELOOP);
            return std::nullopt;
        }
        std::error_code ec;
        const fs::path next = fs::read_symlink(target, ec);
        if (ec) {
            if (error) *error = "cannot follow " + target.string() + ": " + ec.message();
            return std::nullopt;
        }
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
}

bool writeFileAtomically(const std::string& path, const void* data, size_t size, std::string* error) {
    namespace fs = std::filesystem;
    const auto resolved = resolveWriteTarget(path, error);
    if (!resolved) return false;
    const fs::path target(*resolved);
    const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
    // Appended rather than `"." + std::string`, which GCC 12 at -O2
    // misreports as overlapping copies (-Wrestrict).
    std::string name = ".";
    name += target.filename().string();
    name += ".XXXXXX";
    std::string tmpl = (dir / name).string();

    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        setError(error, "cannot create temporary file for", path, errno);
        return false;
    }
    auto fail = [&](const char* what) {
        int err = errno;
        ::close(fd);
        ::unlink(tmpl.c_str());
        setError(error, what, path, err);
        return false;
    };
    // mkstemp creates 0600; user files get the usual permissions.
    ::fchmod(fd, 0644);
    const auto* p = static_cast<const uint8_t*>(data);
    size_t left = size;
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail("cannot write");
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) return fail("cannot flush");
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(tmpl.c_str());
        setError(error, "cannot close", path, err);
        return false;
    }
    if (::rename(tmpl.c_str(), target.c_str()) != 0) {
        int err = errno;
        ::unlink(tmpl.c_str());
        setError(error, "cannot rename into", path, err);
        return false;
    }
    // Make the rename itself durable.
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

std::string damagedCopyPath(const std::string& path, int generation) {
    std::string copy = path + ".damaged";
    if (generation != 0) {
        copy += '.';
        copy += std::to_string(generation);
    }
    return copy;
}

bool keepDamagedCopy(const std::string& path, std::string* error) {
    auto bytes = readFile(path, error);
    if (!bytes) return false;
    // Oldest first, so no copy is overwritten before it has moved on.
    ::unlink(damagedCopyPath(path, kDamagedCopiesKept - 1).c_str());
    for (int g = kDamagedCopiesKept - 2; g >= 0; --g) {
        const std::string from = damagedCopyPath(path, g);
        if (::rename(from.c_str(), damagedCopyPath(path, g + 1).c_str()) != 0 && errno != ENOENT) {
            setError(error, "cannot move aside", from, errno);
            return false;
        }
    }
    return writeFileAtomically(damagedCopyPath(path), *bytes, error);
}

size_t removeLeftoverTemporaries(const std::string& dir,
                                 const std::function<bool(const std::string& name)>& isTarget) {
    namespace fs = std::filesystem;
    constexpr size_t kSuffix = 7;  // ".XXXXXX" of mkstemp
    size_t removed = 0;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() < 2 + kSuffix || name[0] != '.' || name[name.size() - kSuffix] != '.')
            continue;
        const bool random = std::all_of(name.end() - 6, name.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) != 0;
        });
        std::error_code fec;
        if (!random || !it->is_regular_file(fec) ||
            !isTarget(name.substr(1, name.size() - 1 - kSuffix)))
            continue;
        if (fs::remove(it->path(), fec)) ++removed;
    }
    return removed;
}

std::optional<FileStamp> fileStamp(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileStamp{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
                     static_cast<int64_t>(st.st_size),
                     static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec,
                     static_cast<int64_t>(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec};
}

bool createDirectories(const std::string& path, std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (std::filesystem::is_directory(path)) return true;
    if (error) *error = "cannot create directory " + path + ": " + (ec ? ec.message() : "not a directory");
    return false;
}

}  // namespace platform
