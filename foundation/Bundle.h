#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform {

// A directory of resources. On this platform a bundle is a plain directory;
// a nested bundle is a sub-directory found as a resource of type "bundle".
class Bundle {
public:
    virtual ~Bundle() = default;

    // Opens the directory at `path`; nullopt when it is not a directory.
    static std::optional<Bundle> open(const std::string& path);

    // The program's own resources (Paths::resourceDirectory()).
    static const Bundle& main();

    const std::string& bundlePath() const { return path_; }

    // Absolute path of resource `name` (with `type` as extension unless
    // empty) inside `subdirectory` (empty: the top level); nullopt if absent.
    // Type "bundle" names a directory without extension.
    std::optional<std::string> pathForResource(const std::string& name, const std::string& type,
                                               const std::string& subdirectory = {}) const;

    // Absolute paths of the regular files with extension `type` directly in
    // `subdirectory`, sorted by name so enumeration is stable.
    std::vector<std::string> pathsForResourcesOfType(const std::string& type,
                                                     const std::string& subdirectory = {}) const;

protected:
    explicit Bundle(std::string path) : path_(std::move(path)) {}

private:
    std::string path_;
};

}  // namespace platform
