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

// The float32 samples of the raw file at `path`.
std::vector<float> readFloats(const std::string& path);

// Runs a shell command; returns its exit status and fills `output` with
// what it printed on stdout.
int run(const std::string& command, std::string* output = nullptr);

// An ALSA configuration, a sound card for tests: its default device writes
// raw samples to `output` and, when `input` is given, reads them from it;
// `extra` is appended verbatim. Returns the file to put in ALSA_CONFIG_PATH.
std::string writeAlsaFileDevice(const TempDir& dir, const std::string& output,
                                const std::string& input = {}, const std::string& extra = {});

// Debian's python3 (with plistlib, thrift and friends), or empty if absent.
std::string systemPython();

}  // namespace testsupport
