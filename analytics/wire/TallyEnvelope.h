#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analytics/wire/TLTStructures.h"

class TallyRuntime;
class TLEventMgr;

// Builds envelope files from the collector's pending data, and opens them
// again (the local collector, tests). One per SDK instance, main thread.
class TallyEnvelope {
public:
    static constexpr size_t kMaxRawPayload = 0x400000;      // bytes, uncompressed
    static constexpr size_t kMaxDeflatedPayload = 209'920;  // bytes, compressed
    using Bytes = std::vector<uint8_t>;
    using Digest = std::array<uint8_t, 16>;
    using Block32 = std::array<uint8_t, 32>;

    TallyEnvelope(TallyRuntime& runtime, TLEventMgr& events);

    // True when an envelope file was written; the pending collections and
    // the aggregation rows it carries are then cleared.
    bool makeEnvelopeData();

    Digest identityMD5{};
    Digest entityMD5{};
    Block32 signature{};
    Block32 guid{};
    int32_t serialNum = 0;
    int32_t timestamp = 0;
    int32_t length = 0;
    std::string signatureString, guidString, checksum;
    std::string lastFilePath;  // of the last envelope written

    // The compressed entity of a payload; nothing when the payload or its
    // compressed form is too large, after `dropped(size, label)`.
    static std::optional<Bytes> entityData(
        const Bytes& payload, const std::function<void(int64_t, const char*)>& dropped);
    // The 32-byte guid: digests interleaved, corners from the signature
    // (zeros without one), XORed with the timestamp's bytes.
    static Block32 makeGuid(const Digest& entity, const Digest& identity, const Block32* signature,
                            int32_t timestamp);
    static std::string envelopeChecksum(const std::string& signature, int32_t serial,
                                        int32_t timestamp, int32_t length, const std::string& guid);
    // AES-128-CBC with PKCS#7 padding; the key is signature bytes 1 to 16.
    static Bytes encrypt(const Bytes& plain, const Block32& signature);
    static std::optional<Bytes> decrypt(const Bytes& cipher, const Block32& signature);

    // Reads an envelope file's bytes; nothing when they are no envelope.
    static std::optional<TLEnvelope> readEnvelope(const Bytes& bytes);
    // The payload of an envelope after checking its checksum, decrypting
    // and inflating it to its stated length; nothing (and `why`) otherwise.
    static std::optional<Bytes> openEntity(const TLEnvelope& envelope, std::string* why = nullptr);

private:
    bool encryptionWanted() const;
    void writeExchangeIdentity();

    TallyRuntime& runtime_;
    TLEventMgr& events_;
};
