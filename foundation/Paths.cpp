#include "foundation/Paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace platform::Paths {

namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string homeDirectory() {
    std::string home = env("HOME");
    if (!home.empty()) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/tmp";
}

}  // namespace

std::string libraryDirectory() {
    std::string base = env("QUELLIO_HOME");
    if (!base.empty()) return base + "/Library";
    std::string data = env("XDG_DATA_HOME");
    if (data.empty()) data = homeDirectory() + "/.local/share";
    return data + "/quellio/Library";
}

std::string executableDirectory() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return ".";
    return exe.parent_path().string();
}

std::string resourceDirectory() {
    std::string override = env("QUELLIO_RESOURCES");
    if (!override.empty()) return override;
    std::error_code ec;
    auto installed = std::filesystem::path(executableDirectory()) / ".." / "share" / "quellio";
    if (std::filesystem::is_directory(installed, ec)) {
        return std::filesystem::weakly_canonical(installed, ec).string();
    }
#ifdef QUELLIO_SOURCE_RESOURCE_DIR
    return QUELLIO_SOURCE_RESOURCE_DIR;
#else
    return installed.string();
#endif
}

}  // namespace platform::Paths
