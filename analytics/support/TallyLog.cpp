#include "analytics/support/TallyLog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <utility>

namespace {

std::atomic<bool> gPrinting{false};

std::mutex& sinkMutex() {
    static std::mutex m;
    return m;
}

// Shared so a line being delivered keeps its sink alive while another
// thread replaces it.
std::shared_ptr<const TallyLogSink>& sinkSlot() {
    static std::shared_ptr<const TallyLogSink> slot;
    return slot;
}

std::string vformat(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    char buffer[256];
    const int n = std::vsnprintf(buffer, sizeof buffer, format, copy);
    va_end(copy);
    if (n < 0) return {};
    if (static_cast<size_t>(n) < sizeof buffer) return std::string(buffer, static_cast<size_t>(n));
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), format, args);
    out.resize(static_cast<size_t>(n));
    return out;
}

}  // namespace

TallyLogSink setTallyLogSink(TallyLogSink sink) {
    auto next = sink ? std::make_shared<const TallyLogSink>(std::move(sink)) : nullptr;
    std::lock_guard lock(sinkMutex());
    auto previous = std::exchange(sinkSlot(), std::move(next));
    return previous ? *previous : TallyLogSink();
}

void setTallyLogPrinting(bool enabled) {
    gPrinting = enabled;
}

void TLLog(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string line = vformat(format, args);
    va_end(args);
    std::shared_ptr<const TallyLogSink> sink;
    {
        std::lock_guard lock(sinkMutex());
        sink = sinkSlot();
    }
    if (sink) {
        (*sink)(line);
    } else if (gPrinting) {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
}

std::string TLFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string out = vformat(format, args);
    va_end(args);
    return out;
}
