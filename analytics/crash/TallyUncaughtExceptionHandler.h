#pragma once

#include <optional>
#include <string>

// Crash capture. The signal path only formats numbers into a record that
// was prepared at installation and writes it with write(2): nothing there
// allocates, locks or touches the SDK. The next start turns the record into
// an error. Process-wide; installing again only changes the record path.
class TallyUncaughtExceptionHandler {
public:
    static constexpr const char* kSignalExceptionName =
        "UncaughtExceptionHandlerSignalExceptionName";

    // Installs std::set_terminate and handlers (on an alternate stack) for
    // SIGABRT, SIGILL, SIGSEGV, SIGFPE and SIGBUS.
    static void install(const std::string& recordPath);
    static void uninstall();

    struct Crash {
        double ts = 0;  // seconds since 1970
        std::string context;
        std::string binaryUUID, cpuArch, slideAddress, imageName, imageBaseAddress;
    };
    // The crash a previous run left at `recordPath`; the file is removed.
    static std::optional<Crash> takeRecord(const std::string& recordPath);
    // Parses a record's text.
    static std::optional<Crash> parseRecord(const std::string& text);

    static const char* signalName(int signal);
};
