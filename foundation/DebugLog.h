#pragma once

#include <functional>
#include <string>

namespace platform {

// One caught, recoverable error: where it was caught and what it was.
struct DebugErrorEntry {
    std::string unit;
    std::string function;
    int line = 0;
    std::string message;
};

using DebugErrorSink = std::function<void(const DebugErrorEntry&)>;

// Hands a caught error to the debug error log. Debug builds print it on
// stderr; release builds record nothing unless a sink was installed.
void debugErrorLog(const char* unit, const char* function, int line, std::string message);

// Replaces the log's sink (tests observe errors this way); an empty function
// restores the default. Returns the previous sink.
DebugErrorSink setDebugErrorSink(DebugErrorSink sink);

}  // namespace platform

#define QEL_DEBUG_ERROR(message) ::platform::debugErrorLog(__FILE__, __func__, __LINE__, (message))
