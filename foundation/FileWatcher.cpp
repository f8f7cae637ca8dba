#include "foundation/FileWatcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>

#include "foundation/DebugLog.h"
#include "foundation/Files.h"

namespace platform {

FileWatcher::FileWatcher(const std::string& path, RunLoop& loop, std::function<void()> changed)
    : loop_(loop), shared_(std::make_shared<Shared>()) {
    shared_->changed = std::move(changed);
    // Saves replace the file by a rename, so the folder is watched, not the
    // file's inode, which every save retires.
    const std::filesystem::path target(resolveWriteTarget(path).value_or(path));
    const std::string dir = target.has_parent_path() ? target.parent_path().string() : ".";
    const int fd = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (fd < 0) {
        QEL_DEBUG_ERROR("cannot watch " + path + ": inotify unavailable");
        return;
    }
    if (::inotify_add_watch(fd, dir.c_str(),
                            IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE) <
        0) {
        QEL_DEBUG_ERROR("cannot watch " + dir);
        ::close(fd);
        return;
    }
    stopFd_ = ::eventfd(0, EFD_CLOEXEC);
    if (stopFd_ < 0) {
        ::close(fd);
        return;
    }
    thread_ = std::thread(&FileWatcher::watch, this, fd, stopFd_, target.filename().string());
}

FileWatcher::~FileWatcher() {
    shared_->alive = false;
    if (thread_.joinable()) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(stopFd_, &one, sizeof one);
        thread_.join();
    }
    if (stopFd_ >= 0) ::close(stopFd_);
}

void FileWatcher::watch(int inotifyFd, int stopFd, std::string name) {
    alignas(inotify_event) char buf[4096 + sizeof(inotify_event) + NAME_MAX + 1];
    pollfd fds[2] = {{inotifyFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[1].revents) break;
        bool ours = false;
        for (;;) {
            const ssize_t n = ::read(inotifyFd, buf, sizeof buf);
            if (n <= 0) break;
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buf + at);
                if (event->len > 0 && name == event->name) ours = true;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        // One task for a burst: it runs after every event read so far.
        if (ours && !shared_->posted.exchange(true)) {
            loop_.post([shared = shared_] {
                shared->posted = false;
                if (shared->alive) shared->changed();
            });
        }
    }
    ::close(inotifyFd);
}

}  // namespace platform
