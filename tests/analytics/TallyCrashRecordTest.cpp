#include <gtest/gtest.h>

#include "analytics/crash/TallyUncaughtExceptionHandler.h"

TEST(TallyCrashRecord, RecordBecomesTheErrorContext) {
    const auto crash = TallyUncaughtExceptionHandler::parseRecord(
        "name UncaughtExceptionHandlerSignalExceptionName\n"
        "reason Application received signal SIGBUS\n"
        "signal 7\n"
        "time 1700000000250\n"
        "frame 0x1010\n"
        "frame 0x7f0000000020\n"
        "frame 0x10\n"
        "image 0x1000 0x0 abcd /opt/quellio/bin/quellio\n"
        "image 0x7f0000000000 0x7f0000000000 - /lib/libc.so.6\n"
        "arch x86_64\n"
        "end\n");
    ASSERT_TRUE(crash);
    EXPECT_DOUBLE_EQ(crash->ts, 1'700'000'000.25);
    EXPECT_EQ(crash->context,
              "Application received signal SIGBUS\n"
              "0x1010 0x7f0000000020 0x10\n"
              "(\n"
              "\t0   quellio   0x1010 + 16\n"
              "\t1   libc.so.6   0x7f0000000020 + 32\n"
              "\t2   ???   0x10 + 16\n"
              ")\n"
              "\n"
              "dSYM UUID: abcd\n"
              "CPU Type: x86_64\n"
              "Slide Address: 0x0\n"
              "Binary Image: /opt/quellio/bin/quellio\n"
              "Base Address: 0x1000\n");
    EXPECT_FALSE(TallyUncaughtExceptionHandler::parseRecord("frame 0x1\n"));
}
