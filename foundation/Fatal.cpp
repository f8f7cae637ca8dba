#include "foundation/Fatal.h"

#include <cstdio>
#include <cstdlib>

namespace platform {

void fatal(std::string_view message) {
    if (message.empty()) {
        std::fputs("Fatal error\n", stderr);
    } else {
        std::fprintf(stderr, "Fatal error: %.*s\n", static_cast<int>(message.size()), message.data());
    }
    std::fflush(stderr);
    std::abort();
}

}  // namespace platform
