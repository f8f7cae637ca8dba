#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "analytics/collect/TLANBaseEvent.h"
#include "foundation/Value.h"

// An append-only log of what the collector holds in memory and no other
// file holds yet: session begins and ends, records, page views. Entries
// are buffered and written with one write(2) per main-loop turn, so a crash
// or a kill loses at most the turn it happened in. When the collections go
// into an envelope or the cache file the journal starts over with what
// memory still holds. Main thread only.
class TallyJournal {
public:
    // What a journal left by an earlier process holds. A session it began
    // and never ended is rebuilt: its record ends at the last entry and
    // carries the pages logged since its begin.
    struct Contents {
        std::vector<std::shared_ptr<TLANTerminate>> terminates;
        std::vector<std::shared_ptr<TLANEvent>> events;
        std::vector<std::shared_ptr<TLANEkv>> ekv;
        std::vector<std::shared_ptr<TLANError>> errors;
        // The rebuilt session's record (also in `terminates`), if any.
        std::shared_ptr<TLANTerminate> unended;
        bool empty() const {
            return terminates.empty() && events.empty() && ekv.empty() && errors.empty();
        }
    };
    static Contents read(const std::string& path);

    explicit TallyJournal(std::string path);
    ~TallyJournal();
    TallyJournal(const TallyJournal&) = delete;
    TallyJournal& operator=(const TallyJournal&) = delete;

    // Entries stamped with `now` (seconds since 1970).
    void sessionBegan(const std::string& sessionId, double begin, double now);
    void pageLogged(const platform::Value& item, double now);
    // Events, attribute events, errors and session records.
    void recorded(const TLANBaseEvent& record, double now);

    bool hasBuffered() const { return !buffer_.empty(); }
    // Appends what is buffered to the file.
    void flush();

    // Replaces the file, atomically, with the entries buffered since the
    // last flush (the caller logs what memory still holds first).
    void rewrite();
    // Drops what is buffered without writing it.
    void discardBuffered() { buffer_.clear(); }

private:
    void begin(char tag, double now);
    void end();
    void openForAppend();

    std::string path_;
    std::string buffer_;
    size_t entryStart_ = 0;
    int fd_ = -1;
};
