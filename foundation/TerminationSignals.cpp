#include "foundation/TerminationSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

namespace platform {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

int gRead = -1;
int gWrite = -1;
std::atomic<bool> gReceived{false};

extern "C" void onTerminationSignal(int signal) {
    const int saved = errno;
    gReceived.store(true, std::memory_order_relaxed);
    const auto byte = static_cast<unsigned char>(signal);
    // A full pipe already holds a request; nothing is lost by dropping this.
    [[maybe_unused]] const ssize_t n = ::write(gWrite, &byte, 1);
    errno = saved;
}

void restoreDefaults() {
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    for (int s : kSignals) ::sigaction(s, &dfl, nullptr);
}

}  // namespace

int TerminationSignals::install() {
    static std::once_flag once;
    std::call_once(once, [] {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
        gRead = fds[0];
        gWrite = fds[1];
        struct sigaction action {};
        action.sa_handler = onTerminationSignal;
        sigemptyset(&action.sa_mask);
        // One delivery each: the next one takes the default action even
        // before the watcher has read the first.
        action.sa_flags = SA_RESTART | SA_RESETHAND;
        for (int s : kSignals) ::sigaction(s, &action, nullptr);
    });
    return gRead;
}

int TerminationSignals::fd() {
    return gRead;
}

int TerminationSignals::take() {
    if (gRead < 0) return 0;
    unsigned char byte = 0;
    if (::read(gRead, &byte, 1) != 1) return 0;
    restoreDefaults();
    return byte;
}

bool TerminationSignals::received() {
    return gReceived.load(std::memory_order_relaxed);
}

}  // namespace platform
