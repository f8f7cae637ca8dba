#pragma once

#include <string>
#include <vector>

namespace testsupport {

// A fresh directory under the system's temporary folder, removed with its
// contents when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Writes `text` to `path`, creating parent directories.
void writeText(const std::string& path, const std::string& text);

// Runs a shell command; returns its exit status and fills `output` with
// what it printed on stdout.
int run(const std::string& command, std::string* output = nullptr);

// Debian's python3 (with plistlib, thrift and friends), or empty if absent.
std::string systemPython();

}  // namespace testsupport
