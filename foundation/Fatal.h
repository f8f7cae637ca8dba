#pragma once

#include <string_view>

namespace platform {

// Stops the program for a programming error or a fault in shipped data.
// Prints "Fatal error: <message>" (or just "Fatal error" for an empty
// message) on stderr, then aborts.
[[noreturn]] void fatal(std::string_view message = {});

}  // namespace platform
