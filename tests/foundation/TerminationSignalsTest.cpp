#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "foundation/TerminationSignals.h"

namespace {

// In a child of its own: the handlers are process-wide.
TEST(TerminationSignals, ASignalWaitsOnThePipeAndASecondEndsTheProcess) {
    EXPECT_EXIT(
        {
            if (platform::TerminationSignals::install() < 0) ::_exit(1);
            ::raise(SIGHUP);
            if (!platform::TerminationSignals::received()) ::_exit(2);
            if (platform::TerminationSignals::take() != SIGHUP) ::_exit(3);
            if (platform::TerminationSignals::take() != 0) ::_exit(4);
            ::raise(SIGINT);
            ::_exit(5);
        },
        ::testing::KilledBySignal(SIGINT), "");
    // Before the watcher has read the first, a second request ends it too.
    EXPECT_EXIT(
        {
            platform::TerminationSignals::install();
            ::raise(SIGTERM);
            ::raise(SIGTERM);
            ::_exit(5);
        },
        ::testing::KilledBySignal(SIGTERM), "");
}

}  // namespace
