#include "analytics/crash/TallyUncaughtExceptionHandler.h"

#include <cxxabi.h>
#include <execinfo.h>
#include <fcntl.h>
#include <link.h>
#include <signal.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <sstream>
#include <vector>

#include "analytics/support/TallyLog.h"
#include "foundation/Files.h"

namespace {

constexpr int kSignals[] = {SIGABRT, SIGILL, SIGSEGV, SIGFPE, SIGBUS};
constexpr int kMaxFrames = 64;

// Everything the signal path reads, prepared beforehand.
char gRecordPath[PATH_MAX];
char gImages[16384];  // "image ..." lines and the "arch" line
size_t gImagesLength = 0;
struct sigaction gPrevious[sizeof kSignals / sizeof kSignals[0]];
std::terminate_handler gPreviousTerminate = nullptr;
std::atomic<bool> gInstalled{false};
std::atomic<bool> gCrashing{false};
std::vector<char> gAltStack;

// Async-signal-safe writers.
void put(int fd, const char* s, size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, s, n);
        if (w <= 0) return;
        s += w;
        n -= static_cast<size_t>(w);
    }
}
void put(int fd, const char* s) {
    put(fd, s, ::strlen(s));
}
void putNumber(int fd, unsigned long long v, unsigned base) {
    char buf[32];
    size_t i = sizeof buf;
    do {
        buf[--i] = "0123456789abcdef"[v % base];
        v /= base;
    } while (v && i > 0);
    put(fd, buf + i, sizeof buf - i);
}

void writeRecord(const char* name, const char* reason, int signal, void* const* frames, int count) {
    const int fd = ::open(gRecordPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    put(fd, "name ");
    put(fd, name);
    put(fd, "\nreason ");
    put(fd, reason);
    put(fd, "\nsignal ");
    putNumber(fd, static_cast<unsigned>(signal), 10);
    put(fd, "\ntime ");
    putNumber(fd,
              static_cast<unsigned long long>(now.tv_sec) * 1000 +
                  static_cast<unsigned long long>(now.tv_nsec / 1'000'000),
              10);
    put(fd, "\n");
    for (int i = 0; i < count; ++i) {
        put(fd, "frame 0x");
        putNumber(fd, reinterpret_cast<uintptr_t>(frames[i]), 16);
        put(fd, "\n");
    }
    put(fd, gImages, gImagesLength);
    put(fd, "end\n");
    ::close(fd);
}

void resetSignals() {
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    for (int s : kSignals) ::sigaction(s, &dfl, nullptr);
    ::sigaction(SIGPIPE, &dfl, nullptr);
}

void onSignal(int signal, siginfo_t*, void*) {
    if (!gCrashing.exchange(true)) {
        char reason[64] = "Application received signal ";
        const char* n = TallyUncaughtExceptionHandler::signalName(signal);
        ::strncat(reason, n, sizeof reason - ::strlen(reason) - 1);
        void* frames[kMaxFrames];
        const int count = ::backtrace(frames, kMaxFrames);
        writeRecord(TallyUncaughtExceptionHandler::kSignalExceptionName, reason, signal, frames,
                    count);
    }
    resetSignals();
    ::raise(signal);
}

void onTerminate() {
    std::string name = "std::terminate", reason = "terminate called without an active exception";
    if (auto current = std::current_exception()) {
        try {
            std::rethrow_exception(current);
        } catch (const std::exception& e) {
            int status = 0;
            char* demangled = abi::__cxa_demangle(typeid(e).name(), nullptr, nullptr, &status);
            name = demangled && status == 0 ? demangled : typeid(e).name();
            std::free(demangled);
            reason = name + ": " + e.what();
        } catch (...) {
            name = "unknown exception";
        }
    }
    if (!gCrashing.exchange(true)) {
        void* frames[kMaxFrames];
        const int count = ::backtrace(frames, kMaxFrames);
        writeRecord(name.c_str(), reason.c_str(), SIGABRT, frames, count);
    }
    // The abort that follows must not write a second record.
    resetSignals();
    std::abort();
}

std::string buildId(const dl_phdr_info* info) {
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_NOTE) continue;
        const auto* p = reinterpret_cast<const uint8_t*>(info->dlpi_addr + ph.p_vaddr);
        const uint8_t* end = p + ph.p_memsz;
        while (p + sizeof(ElfW(Nhdr)) <= end) {
            const auto* note = reinterpret_cast<const ElfW(Nhdr)*>(p);
            const uint8_t* desc = p + sizeof(ElfW(Nhdr)) + ((note->n_namesz + 3) & ~3u);
            if (desc + note->n_descsz > end) break;
            if (note->n_type == NT_GNU_BUILD_ID && note->n_namesz == 4) {
                std::string hex;
                for (size_t k = 0; k < note->n_descsz; ++k) hex += TLFormat("%02x", desc[k]);
                return hex;
            }
            p = desc + ((note->n_descsz + 3) & ~3u);
        }
    }
    return "-";
}

int collectImage(dl_phdr_info* info, size_t, void* out) {
    auto& lines = *static_cast<std::string*>(out);
    std::string name = info->dlpi_name ? info->dlpi_name : "";
    if (name.empty()) {
        char exe[PATH_MAX];
        const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
        name = n > 0 ? std::string(exe, static_cast<size_t>(n)) : "main";
    }
    uintptr_t base = info->dlpi_addr;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        if (info->dlpi_phdr[i].p_type == PT_LOAD) {
            base = info->dlpi_addr + info->dlpi_phdr[i].p_vaddr;
            break;
        }
    }
    lines += TLFormat("image 0x%" PRIxPTR " 0x%" PRIxPTR " %s %s\n", base,
                      static_cast<uintptr_t>(info->dlpi_addr), buildId(info).c_str(), name.c_str());
    return 0;
}

}  // namespace

const char* TallyUncaughtExceptionHandler::signalName(int signal) {
    switch (signal) {
        case SIGABRT:
            return "SIGABRT";
        case SIGBUS:
            return "SIGBUS";
        case SIGFPE:
            return "SIGFPE";
        case SIGILL:
            return "SIGILL";
        case SIGSEGV:
            return "SIGSEGV";
        case SIGTRAP:
            return "SIGTRAP";
        default:
            return "UNKNOWN";
    }
}

void TallyUncaughtExceptionHandler::install(const std::string& recordPath) {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    std::snprintf(gRecordPath, sizeof gRecordPath, "%s", recordPath.c_str());
    if (gInstalled) return;
    std::string images;
    ::dl_iterate_phdr(collectImage, &images);
    utsname u{};
    ::uname(&u);
    images += std::string("arch ") + u.machine + "\n";
    gImagesLength = std::min(images.size(), sizeof gImages);
    std::memcpy(gImages, images.data(), gImagesLength);
    // The first call loads the unwinder; the signal path must not.
    void* warm[2];
    ::backtrace(warm, 2);

    gAltStack.resize(static_cast<size_t>(SIGSTKSZ) * 4);
    stack_t stack{};
    stack.ss_sp = gAltStack.data();
    stack.ss_size = gAltStack.size();
    ::sigaltstack(&stack, nullptr);
    struct sigaction action {};
    action.sa_sigaction = onSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &action, &gPrevious[i]);
    gPreviousTerminate = std::set_terminate(onTerminate);
    gInstalled = true;
}

void TallyUncaughtExceptionHandler::uninstall() {
    if (!gInstalled.exchange(false)) return;
    for (size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &gPrevious[i], nullptr);
    std::set_terminate(gPreviousTerminate);
}

std::optional<TallyUncaughtExceptionHandler::Crash> TallyUncaughtExceptionHandler::parseRecord(
    const std::string& text) {
    struct Image {
        uintptr_t base = 0, slide = 0;
        std::string uuid, name;
    };
    std::string name, reason, arch;
    int64_t timeMs = 0;
    std::vector<uintptr_t> frames;
    std::vector<Image> images;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const auto space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
        if (key == "name") {
            name = rest;
        } else if (key == "reason") {
            reason = rest;
        } else if (key == "time") {
            timeMs = std::strtoll(rest.c_str(), nullptr, 10);
        } else if (key == "frame") {
            frames.push_back(static_cast<uintptr_t>(std::strtoull(rest.c_str(), nullptr, 16)));
        } else if (key == "image") {
            std::istringstream fields(rest);
            std::string base, slide;
            Image image;
            fields >> base >> slide >> image.uuid;
            std::getline(fields >> std::ws, image.name);
            image.base = static_cast<uintptr_t>(std::strtoull(base.c_str(), nullptr, 16));
            image.slide = static_cast<uintptr_t>(std::strtoull(slide.c_str(), nullptr, 16));
            images.push_back(std::move(image));
        } else if (key == "arch") {
            arch = rest;
        }
    }
    if (name.empty() || reason.empty()) return std::nullopt;
    // A frame belongs to the loaded image with the highest base below it.
    auto imageOf = [&](uintptr_t address) -> const Image* {
        const Image* best = nullptr;
        for (const Image& image : images) {
            if (image.base <= address && (!best || image.base > best->base)) best = &image;
        }
        return best;
    };
    std::string addresses, stack;
    for (size_t i = 0; i < frames.size(); ++i) {
        addresses += TLFormat("%s0x%" PRIxPTR, i ? " " : "", frames[i]);
        const Image* image = imageOf(frames[i]);
        const std::string file = image ? image->name.substr(image->name.rfind('/') + 1) : "???";
        stack += TLFormat("\n\t%zu   %s   0x%" PRIxPTR " + %" PRIuPTR, i, file.c_str(), frames[i],
                          image ? frames[i] - image->base : frames[i]);
    }
    Crash crash;
    crash.ts = static_cast<double>(timeMs) / 1000.0;
    crash.cpuArch = arch;
    if (!images.empty()) {
        const Image& main = images.front();
        crash.binaryUUID = main.uuid;
        crash.slideAddress = TLFormat("0x%" PRIxPTR, main.slide);
        crash.imageName = main.name;
        crash.imageBaseAddress = TLFormat("0x%" PRIxPTR, main.base);
    }
    const std::string context =
        TLFormat("%s\n%s\n(%s", reason.c_str(), addresses.c_str(), (stack + "\n)").c_str());
    crash.context = TLFormat(
        "%s\n\ndSYM UUID: %s\nCPU Type: %s\nSlide Address: %s\nBinary Image: %s\nBase Address: "
        "%s\n",
        context.c_str(), crash.binaryUUID.c_str(), crash.cpuArch.c_str(),
        crash.slideAddress.c_str(), crash.imageName.c_str(), crash.imageBaseAddress.c_str());
    return crash;
}

std::optional<TallyUncaughtExceptionHandler::Crash> TallyUncaughtExceptionHandler::takeRecord(
    const std::string& recordPath) {
    const auto bytes = platform::readFile(recordPath);
    if (!bytes) return std::nullopt;
    std::remove(recordPath.c_str());
    return parseRecord(std::string(bytes->begin(), bytes->end()));
}
