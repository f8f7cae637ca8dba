#pragma once

#include <functional>
#include <string>

// The SDK's diagnostic log. Every message reaches the sink; the default sink
// prints to stderr only while logging is enabled (Tally::setLogEnabled), so a
// host that never asks for the log is not flooded by its callers' mistakes.
using TallyLogSink = std::function<void(const std::string& line)>;

// Replaces the sink (tests capture the lines this way); an empty function
// restores the default. Returns the previous sink. Any thread.
TallyLogSink setTallyLogSink(TallyLogSink sink);

// Whether the default sink prints.
void setTallyLogPrinting(bool enabled);

// One line, printf-style; any thread.
void TLLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// printf-style formatting into a string.
std::string TLFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
