#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TallyRuntime;

// Names and lists the SDK's files under <library>/.tally.
class TallyUtility {
public:
    struct EnvelopeFile {
        std::string path;
        int64_t createdMs = 0;  // the time its name carries
    };

    // The directory, created when missing.
    static std::string tallyDirectory(TallyRuntime& runtime);
    static std::string cacheFilePath(TallyRuntime& runtime);  // ".<package>_tallyCache.plist"
    // ".<package>_tallyJournal.log": what the collector took since its
    // collections were last written elsewhere.
    static std::string journalFilePath(TallyRuntime& runtime);
    static std::string databasePath(TallyRuntime& runtime);  // "cache.db"
    static std::string exchangeIdentityPath(TallyRuntime& runtime);
    // Where a crash record waits for the next start.
    static std::string crashRecordPath(TallyRuntime& runtime);

    // The entries ending in "_envelope.log", oldest first.
    static std::vector<EnvelopeFile> envelopeFiles(TallyRuntime& runtime);
    // Writes a new envelope file named after `nowMs` (the next free
    // millisecond when that name is taken), atomically; empty on failure.
    static std::string writeEnvelopeFile(TallyRuntime& runtime, int64_t nowMs,
                                         const std::vector<uint8_t>& bytes);
};
