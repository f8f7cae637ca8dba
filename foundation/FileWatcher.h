#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "foundation/RunLoop.h"

namespace platform {

// Tells `loop` when the file at `path` was written, replaced or removed, by
// this process or another. A thread waits on the kernel's notifications
// (inotify) and posts `changed` to the loop, once for a burst of them; the
// loop's host (the GUI's event loop, or a test running it) runs it there.
// The folder must exist; a link is watched where it points.
class FileWatcher {
public:
    FileWatcher(const std::string& path, RunLoop& loop, std::function<void()> changed);
    ~FileWatcher();
    FileWatcher(const FileWatcher&) = delete;
    FileWatcher& operator=(const FileWatcher&) = delete;

    // False when the kernel refused the watch; nothing will be told then.
    bool isWatching() const { return thread_.joinable(); }

private:
    struct Shared {
        std::atomic<bool> alive{true};
        std::atomic<bool> posted{false};
        std::function<void()> changed;
    };

    void watch(int inotifyFd, int stopFd, std::string name);

    RunLoop& loop_;
    std::shared_ptr<Shared> shared_;
    int stopFd_ = -1;
    std::thread thread_;
};

}  // namespace platform
