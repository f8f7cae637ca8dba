#include "foundation/DebugLog.h"

#include <cstdio>
#include <cstring>
#include <mutex>

namespace platform {

namespace {

std::mutex& sinkMutex() {
    static std::mutex m;
    return m;
}

DebugErrorSink& sinkSlot() {
    static DebugErrorSink sink;
    return sink;
}

void defaultSink([[maybe_unused]] const DebugErrorEntry& e) {
#ifndef NDEBUG
    const char* slash = std::strrchr(e.unit.c_str(), '/');
    std::fprintf(stderr, "[error] %s:%d %s: %s\n", slash ? slash + 1 : e.unit.c_str(), e.line,
                 e.function.c_str(), e.message.c_str());
#endif
}

}  // namespace

void debugErrorLog(const char* unit, const char* function, int line, std::string message) {
    DebugErrorEntry entry{unit ? unit : "", function ? function : "", line, std::move(message)};
    DebugErrorSink sink;
    {
        std::lock_guard lock(sinkMutex());
        sink = sinkSlot();
    }
    if (sink) {
        sink(entry);
    } else {
        defaultSink(entry);
    }
}

DebugErrorSink setDebugErrorSink(DebugErrorSink sink) {
    std::lock_guard lock(sinkMutex());
    DebugErrorSink previous = std::move(sinkSlot());
    sinkSlot() = std::move(sink);
    return previous;
}

}  // namespace platform
