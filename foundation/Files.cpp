#include "foundation/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool writeFileAtomically(const std::string& path, const void* data, size_t size, std::string* error) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string tmpl = (dir / ("." + target.filename().string() + ".XXXXXX")).string();

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
    if (::rename(tmpl.c_str(), path.c_str()) != 0) {
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

bool createDirectories(const std::string& path, std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (std::filesystem::is_directory(path)) return true;
    if (error) *error = "cannot create directory " + path + ": " + (ec ? ec.message() : "not a directory");
    return false;
}

}  // namespace platform
