#include "foundation/Bundle.h"

#include <algorithm>
#include <filesystem>

#include "foundation/Paths.h"

namespace platform {

namespace fs = std::filesystem;

std::optional<Bundle> Bundle::open(const std::string& path) {
    std::error_code ec;
    if (!fs::is_directory(path, ec)) return std::nullopt;
    return Bundle(fs::absolute(path, ec).lexically_normal().string());
}

const Bundle& Bundle::main() {
    static const Bundle bundle(fs::absolute(Paths::resourceDirectory()).lexically_normal().string());
    return bundle;
}

std::optional<std::string> Bundle::pathForResource(const std::string& name, const std::string& type,
                                                   const std::string& subdirectory) const {
    // Names never climb out of the bundle.
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
        return std::nullopt;
    }
    if (subdirectory.find('/') != std::string::npos || subdirectory == "." || subdirectory == ".." ||
        subdirectory.find('\0') != std::string::npos || name.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    fs::path p(path_);
    if (!subdirectory.empty()) p /= subdirectory;
    std::error_code ec;
    if (type == "bundle") {
        p /= name;
        if (fs::is_directory(p, ec)) return p.string();
        return std::nullopt;
    }
    p /= type.empty() ? name : name + "." + type;
    if (fs::is_regular_file(p, ec)) return p.string();
    return std::nullopt;
}

std::vector<std::string> Bundle::pathsForResourcesOfType(const std::string& type,
                                                         const std::string& subdirectory) const {
    std::vector<std::string> result;
    fs::path dir(path_);
    if (!subdirectory.empty()) dir /= subdirectory;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code fec;
        if (!it->is_regular_file(fec)) continue;
        if (it->path().extension() == "." + type) result.push_back(it->path().string());
    }
    std::sort(result.begin(), result.end());
    return result;
}

}  // namespace platform
