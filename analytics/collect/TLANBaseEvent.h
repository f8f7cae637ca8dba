#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/KeyedArchive.h"
#include "foundation/Value.h"

// The records the collector keeps until they go into an envelope or the
// cache file. Each field is archived under its name prefixed with "self.".
// A record is built by the caller, handed over through the dispatcher and
// from then on touched only on the main thread.
class TLANBaseEvent : public platform::Coding {
public:
    std::string type;
    std::string date;  // "yyyy-MM-dd", local time of `ts`
    std::string time;  // "HH:mm:ss"
    std::string session_id;
    double ts = 0;  // seconds since 1970
    bool sendingFlag = false;

    // Gives the record to a session: its id, and the day and time of `ts`.
    void stamp(const std::string& sessionId);

    std::vector<std::string> archiveClassHierarchy() const override;
    void encodeWithCoder(platform::KeyedArchiver& coder) const override;

    // Factories of every record class for the keyed unarchiver.
    static const platform::KeyedUnarchiver::ClassTable& archiveClasses();

protected:
    explicit TLANBaseEvent(std::string recordType) : type(std::move(recordType)) {}
    // False when a present key holds the wrong type.
    bool decodeBase(platform::KeyedUnarchiver& coder);
};

// A plain counted event; also the begin and end records of timed events.
class TLANEvent final : public TLANBaseEvent {
public:
    std::string event_id;
    std::string label;
    int64_t acc = 1;
    platform::Value::Dictionary values;
    int64_t du = 0;  // milliseconds

    TLANEvent() : TLANBaseEvent("event") {}

    // The event's entry of the payload: "ts" in milliseconds, "id", "du"
    // when at least 1, and the label under the event id. A label over 256
    // bytes is cut (with a warning).
    platform::Value::Dictionary attributes() const;

    std::vector<std::string> archiveClassHierarchy() const override;
    void encodeWithCoder(platform::KeyedArchiver& coder) const override;
    static std::shared_ptr<TLANEvent> initWithCoder(platform::KeyedUnarchiver& coder);
};

// An event with attributes: type "ekv", or "gkv" for the game interface.
class TLANEkv final : public TLANBaseEvent {
public:
    std::string id;
    std::string key;  // primary key of a begin/end pair
    platform::Value::Dictionary values;
    int64_t du = 0;  // milliseconds

    // Checks and trims the attributes; nullptr (after the reserved-key
    // message) when one of them is named "id", "ts" or "du". Entries that
    // break the type's rules are skipped with a message.
    static std::shared_ptr<TLANEkv> make(const std::string& kind, const std::string& eventId,
                                         const std::string& primaryKey,
                                         const platform::Value::Dictionary& attributes);

    TLANEkv() : TLANBaseEvent("ekv") {}

    // "ts" in milliseconds, "id", "du" when at least 1, and the attributes.
    platform::Value::Dictionary attributes() const;

    std::vector<std::string> archiveClassHierarchy() const override;
    void encodeWithCoder(platform::KeyedArchiver& coder) const override;
    static std::shared_ptr<TLANEkv> initWithCoder(platform::KeyedUnarchiver& coder);
};

class TLANError final : public TLANBaseEvent {
public:
    std::string context;

    TLANError() : TLANBaseEvent("error") {}

    std::vector<std::string> archiveClassHierarchy() const override;
    void encodeWithCoder(platform::KeyedArchiver& coder) const override;
    static std::shared_ptr<TLANError> initWithCoder(platform::KeyedUnarchiver& coder);
};

// The record of one ended session; `ts` is its end.
class TLANTerminate final : public TLANBaseEvent {
public:
    int64_t duration = 0;              // seconds
    platform::Value::Array pageViews;  // [page name, seconds] pairs
    double latitude = 0;
    double longitude = 0;
    int64_t gps_time = 0;

    TLANTerminate() : TLANBaseEvent("terminate") {}

    bool hasLocation() const { return latitude != 0 && longitude != 0 && gps_time > 0; }

    std::vector<std::string> archiveClassHierarchy() const override;
    void encodeWithCoder(platform::KeyedArchiver& coder) const override;
    static std::shared_ptr<TLANTerminate> initWithCoder(platform::KeyedUnarchiver& coder);
};
