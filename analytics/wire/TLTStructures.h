#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "analytics/wire/TLTBinaryProtocol.h"

// The seven Thrift structures of the analytics service. Each field keeps an
// is-set flag: name(), set_name(v), unset_name(), name_isSet(). write()
// refuses a structure whose required fields are not set; read() skips
// unknown fields and refuses one that lacks a required field.
#define TLT_FIELD(Type, name)       \
public:                             \
    const Type& name() const {      \
        return name##_;             \
    }                               \
    void set_##name(Type value) {   \
        name##_ = std::move(value); \
        name##IsSet_ = true;        \
    }                               \
    void unset_##name() {           \
        name##_ = Type{};           \
        name##IsSet_ = false;       \
    }                               \
    bool name##_isSet() const {     \
        return name##IsSet_;        \
    }                               \
                                    \
private:                            \
    Type name##_{};                 \
    bool name##IsSet_ = false;

class TLEnvelope {
    TLT_FIELD(std::string, version)
    TLT_FIELD(std::string, address)
    TLT_FIELD(std::string, signature)
    TLT_FIELD(int32_t, serial_num)
    TLT_FIELD(int32_t, ts_secs)
    TLT_FIELD(int32_t, length)
    TLT_FIELD(std::vector<uint8_t>, entity)
    TLT_FIELD(std::string, guid)
    TLT_FIELD(std::string, checksum)
    TLT_FIELD(int32_t, codex)
public:
    void validate() const;
    void write(TLTBinaryProtocol& out) const;
    void read(TLTBinaryProtocol& in);
    std::string description() const;
    bool operator==(const TLEnvelope&) const = default;
};

class TLTIdSnapshot {
    TLT_FIELD(std::string, identity)
    TLT_FIELD(int64_t, ts)
    TLT_FIELD(int32_t, version)
public:
    void validate() const;
    void write(TLTBinaryProtocol& out) const;
    void read(TLTBinaryProtocol& in);
    std::string description() const;
    bool operator==(const TLTIdSnapshot&) const = default;
};

class TLTIdJournal {
    TLT_FIELD(std::string, domain)
    TLT_FIELD(std::string, old_id)
    TLT_FIELD(std::string, new_id)
    TLT_FIELD(int64_t, ts)
public:
    void validate() const;
    void write(TLTBinaryProtocol& out) const;
    void read(TLTBinaryProtocol& in);
    std::string description() const;
    bool operator==(const TLTIdJournal&) const = default;
};

class TLTIdTracking {
    using Snapshots = std::map<std::string, TLTIdSnapshot>;
    using Journals = std::vector<TLTIdJournal>;
    TLT_FIELD(Snapshots, snapshots)
    TLT_FIELD(Journals, journals)
    TLT_FIELD(std::string, checksum)
public:
    void validate() const;
    void write(TLTBinaryProtocol& out) const;
    void read(TLTBinaryProtocol& in);
    std::string description() const;
    bool operator==(const TLTIdTracking&) const = default;
};

class TLTImprintValue {
    TLT_FIELD(std::string, value)
    TLT_FIELD(int64_t, ts)
    TLT_FIELD(std::string, guid)
public:
    void validate() const;
    void write(TLTBinaryProtocol& out) const;
    void read(TLTBinaryProtocol& in);
    std::string description() const;
    bool operator==(const TLTImprintValue&) const = default;
};

class TLTImprint {
    using Properties = std::map<std::string, TLTImprintValue>;
    TLT_FIELD(Properties, property)
    TLT_FIELD(int32_t, version)
    TLT_FIELD(std::string, checksum)
public:
    void validate() const;
    void write(TLTBinaryProtocol& out) const;
    void read(TLTBinaryProtocol& in);
    std::string description() const;
    bool operator==(const TLTImprint&) const = default;

    // The lower-case hexadecimal MD5 over the properties (keys in
    // case-insensitive order) and the version.
    std::string computeChecksum() const;
    bool checksumValid() const { return checksum_isSet() && computeChecksum() == checksum(); }
    // The property's value when the property and its value are set.
    std::optional<std::string> valueForKey(const std::string& key) const;
};

class TLTResponse {
    TLT_FIELD(int32_t, resp_code)
    TLT_FIELD(std::string, msg)
    TLT_FIELD(TLTImprint, imprint)
public:
    void validate() const;
    void write(TLTBinaryProtocol& out) const;
    void read(TLTBinaryProtocol& in);
    std::string description() const;
    bool operator==(const TLTResponse&) const = default;
};

#undef TLT_FIELD

// Whole-buffer helpers: bytes of a structure, or a structure from bytes
// (TLTException on malformed input; trailing bytes are ignored).
template <class T>
std::vector<uint8_t> TLTSerialize(const T& value) {
    TLTMemoryBuffer buffer;
    TLTBinaryProtocol protocol(buffer);
    value.write(protocol);
    return buffer.getBuffer();
}

template <class T>
T TLTDeserialize(const void* data, size_t size) {
    TLTMemoryBuffer buffer(data, size);
    TLTBinaryProtocol protocol(buffer);
    T value;
    value.read(protocol);
    return value;
}

template <class T>
T TLTDeserialize(const std::vector<uint8_t>& bytes) {
    return TLTDeserialize<T>(bytes.data(), bytes.size());
}
