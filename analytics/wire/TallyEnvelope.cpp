#include "analytics/wire/TallyEnvelope.h"

#include <openssl/evp.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>

#include "analytics/collect/TLEventMgr.h"
#include "analytics/collect/TallyRuntime.h"
#include "analytics/collect/TallyUtility.h"
#include "analytics/device/TLANUtil.h"
#include "analytics/support/TallyLog.h"
#include "analytics/wire/TLANDeflated.h"
#include "analytics/wire/TLPayloadBuild.h"
#include "foundation/Files.h"

using platform::Value;

namespace {

// Shared with the receiving service.
constexpr uint8_t kIV[16] = {0x51, 0x75, 0x65, 0x6c, 0x6c, 0x69, 0x6f, 0x54,
                             0x61, 0x6c, 0x6c, 0x79, 0x49, 0x56, 0x30, 0x31};

using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

std::optional<TallyEnvelope::Bytes> aes(bool encrypting, const TallyEnvelope::Bytes& in,
                                        const TallyEnvelope::Block32& signature) {
    CipherCtx ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    if (!ctx || EVP_CipherInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr, signature.data() + 1, kIV,
                                  encrypting ? 1 : 0) != 1) {
        return std::nullopt;
    }
    TallyEnvelope::Bytes out(in.size() + 16);
    int n = 0, tail = 0;
    if (EVP_CipherUpdate(ctx.get(), out.data(), &n, in.data(), static_cast<int>(in.size())) != 1 ||
        EVP_CipherFinal_ex(ctx.get(), out.data() + n, &tail) != 1) {
        return std::nullopt;
    }
    out.resize(static_cast<size_t>(n + tail));
    return out;
}

TallyEnvelope::Digest md5(const TallyEnvelope::Bytes& bytes) {
    TallyEnvelope::Digest d{};
    const auto v = TLANUtil::md5Digest(bytes.data(), bytes.size());
    std::copy_n(v.begin(), std::min(v.size(), d.size()), d.begin());
    return d;
}

template <size_t N>
std::string hex(const std::array<uint8_t, N>& bytes) {
    return TLANUtil::hexString({bytes.begin(), bytes.end()});
}

std::optional<TallyEnvelope::Block32> fromHex(const std::string& text) {
    TallyEnvelope::Block32 out{};
    if (text.size() != 64) return std::nullopt;
    for (size_t i = 0; i < 32; ++i) {
        unsigned v = 0;
        for (size_t j = 0; j < 2; ++j) {
            const char c = text[2 * i + j];
            v <<= 4;
            if (c >= '0' && c <= '9')
                v |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f')
                v |= static_cast<unsigned>(c - 'a' + 10);
            else
                return std::nullopt;
        }
        out[i] = static_cast<uint8_t>(v);
    }
    return out;
}

}  // namespace

TallyEnvelope::TallyEnvelope(TallyRuntime& runtime, TLEventMgr& events)
    : runtime_(runtime), events_(events) {}

std::optional<TallyEnvelope::Bytes> TallyEnvelope::entityData(
    const Bytes& payload, const std::function<void(int64_t, const char*)>& dropped) {
    if (payload.size() >= kMaxRawPayload) {
        dropped(static_cast<int64_t>(payload.size()), "envelope_raw");
        return std::nullopt;
    }
    auto deflated = TLANDeflated::deflatedData(payload);
    if (!deflated) return std::nullopt;
    if (deflated->size() >= kMaxDeflatedPayload) {
        dropped(static_cast<int64_t>(deflated->size()), "envelope_deflated");
        return std::nullopt;
    }
    return deflated;
}

TallyEnvelope::Block32 TallyEnvelope::makeGuid(const Digest& entity, const Digest& identity,
                                               const Block32* s, int32_t timestamp) {
    Block32 g{};
    for (size_t k = 0; k < 16; ++k) {
        g[2 * k] = entity[k];
        g[2 * k + 1] = identity[k];
    }
    for (size_t i : {0u, 1u, 30u, 31u}) g[i] = s ? (*s)[i] : 0;
    const auto t = static_cast<uint32_t>(timestamp);
    const uint8_t tb[4] = {static_cast<uint8_t>(t), static_cast<uint8_t>(t >> 8),
                           static_cast<uint8_t>(t >> 16), static_cast<uint8_t>(t >> 24)};
    for (size_t i = 0; i < g.size(); ++i) g[i] ^= tb[i % 4];
    return g;
}

std::string TallyEnvelope::envelopeChecksum(const std::string& signature, int32_t serial,
                                            int32_t timestamp, int32_t length,
                                            const std::string& guid) {
    return TLANUtil::md5Lower(
        TLFormat("%s%d%d%d%s", signature.c_str(), serial, timestamp, length, guid.c_str()));
}

TallyEnvelope::Bytes TallyEnvelope::encrypt(const Bytes& plain, const Block32& signature) {
    return aes(true, plain, signature).value_or(Bytes{});
}

std::optional<TallyEnvelope::Bytes> TallyEnvelope::decrypt(const Bytes& cipher,
                                                           const Block32& signature) {
    return aes(false, cipher, signature);
}

bool TallyEnvelope::encryptionWanted() const {
    std::optional<std::string> codex;
    if (const Value stored = runtime_.config().configureWithKey("tlImprint"); stored.isData()) {
        try {
            codex = TLTDeserialize<TLTImprint>(*stored.asData()).valueForKey("codex");
        } catch (const TLTException&) {
        }
    }
    if (codex == "1") return true;
    if (codex == "0") return false;
    return runtime_.app().encryptEnabled;
}

bool TallyEnvelope::makeEnvelopeData() {
    TallyConfig& config = runtime_.config();
    TallyInternal& collector = runtime_.internal();
    const bool activationPending = config.configureWithKey("tlActivateMsg").isNull();
    const int64_t nowMs = static_cast<int64_t>(std::llround(runtime_.now() * 1000));
    auto discardPending = [&] {
        collector.terminates.clear();
        collector.events.clear();
        collector.ekv.clear();
        collector.errors.clear();
        events_.clearSent();
    };
    const Bytes payload =
        TLPayloadBuild::payloadData(runtime_, events_.cc(), activationPending ? nowMs : 0);
    length = static_cast<int32_t>(payload.size());
    timestamp = static_cast<int32_t>(runtime_.now());
    bool oversized = false;
    auto entity = entityData(payload, [&](int64_t size, const char* label) {
        // The dropped data is not retried; the service learns its size.
        discardPending();
        events_.recordMeta("__data_size_of", size, label);
        oversized = true;
    });
    if (oversized) length = 0;

    bool written = false;
    if (entity) {
        const std::string appKey = runtime_.app().appid();
        identityMD5 = md5([&] {
            const std::string id = TLANUtil::vendorIdentifier() + runtime_.sharedUDID().value();
            return Bytes(id.begin(), id.end());
        }());
        entityMD5 = md5(*entity);
        if (const Value stored = config.configureWithKey("tlSignature");
            stored.isData() && stored.asData()->size() == signature.size()) {
            std::copy(stored.asData()->begin(), stored.asData()->end(), signature.begin());
        } else {
            signature = makeGuid(entityMD5, identityMD5, nullptr, timestamp);
            config.setConfigure(Value(Bytes(signature.begin(), signature.end())), "tlSignature");
        }
        guid = makeGuid(entityMD5, identityMD5, &signature, timestamp);
        TLEnvelope envelope;
        envelope.set_version("V1.0");
        envelope.set_address(appKey);
        if (encryptionWanted()) {
            *entity = encrypt(*entity, signature);
            entityMD5 = md5(*entity);
            guid = makeGuid(entityMD5, identityMD5, &signature, timestamp);
            envelope.set_codex(1);
        } else {
            envelope.set_codex(0);
        }
        const auto storedSerial = config.integerWithKey("tlSerialNum");
        if (!storedSerial) config.setConfigure(Value(int64_t{1}), "tlSerialNum");
        serialNum = static_cast<int32_t>(storedSerial.value_or(1));
        signatureString = hex(signature);
        guidString = hex(guid);
        checksum = envelopeChecksum(signatureString, serialNum, timestamp, length, guidString);
        envelope.set_signature(signatureString);
        envelope.set_serial_num(serialNum);
        envelope.set_ts_secs(timestamp);
        envelope.set_length(length);
        envelope.set_entity(std::move(*entity));
        envelope.set_guid(guidString);
        envelope.set_checksum(checksum);
        Bytes bytes;
        try {
            bytes = TLTSerialize(envelope);
        } catch (const TLTException& e) {
            TLLog("Exception occurred: %s, %s", e.name().c_str(), e.what());
        }
        if (!bytes.empty()) {
            lastFilePath = TallyUtility::writeEnvelopeFile(runtime_, nowMs, bytes);
            written = !lastFilePath.empty();
        }
        if (written) {
            // The eight-hour limit counts what went out.
            config.accumulateCount(
                static_cast<int64_t>(collector.events.size() + collector.ekv.size()),
                "tlPeriodEvtCount");
            if (activationPending) {
                config.setConfigure(Value(Value::Dictionary{{"ts", Value(nowMs)}}),
                                    "tlActivateMsg");
            }
            discardPending();
        }
    }
    config.incrementCounterWithKey("tlSerialNum");
    writeExchangeIdentity();
    return written;
}

void TallyEnvelope::writeExchangeIdentity() {
    if (signatureString.empty()) {
        TLLog("WARNING signature is nil.");
        return;
    }
    nlohmann::json doc = {
        {"appkey", runtime_.app().appid()},
        {"signature", signatureString},
        {"checksum",
         TLANUtil::md5(TLANUtil::hexString({signature.begin() + 2, signature.begin() + 18}))}};
    if (const Value stored = runtime_.config().configureWithKey("tlImprint"); stored.isData()) {
        try {
            if (auto tlid = TLTDeserialize<TLTImprint>(*stored.asData()).valueForKey("tlid")) {
                doc["tlid"] = *tlid;
            }
        } catch (const TLTException&) {
        }
    }
    const std::string text = doc.dump();
    const std::string path = TallyUtility::exchangeIdentityPath(runtime_);
    if (auto old = platform::readFile(path); old && std::string(old->begin(), old->end()) == text) {
        return;
    }
    platform::writeFileAtomically(path, text.data(), text.size());
}

std::optional<TLEnvelope> TallyEnvelope::readEnvelope(const Bytes& bytes) {
    try {
        return TLTDeserialize<TLEnvelope>(bytes);
    } catch (const TLTException& e) {
        TLLog("Exception occurred: %s, %s", e.name().c_str(), e.what());
        return std::nullopt;
    }
}

std::optional<TallyEnvelope::Bytes> TallyEnvelope::openEntity(const TLEnvelope& e,
                                                              std::string* why) {
    auto fail = [why](const char* reason) -> std::optional<Bytes> {
        if (why) *why = reason;
        return std::nullopt;
    };
    if (e.checksum() !=
        envelopeChecksum(e.signature(), e.serial_num(), e.ts_secs(), e.length(), e.guid())) {
        return fail("checksum mismatch");
    }
    if (e.serial_num() < 1) return fail("bad serial number");
    if (e.length() <= 0 || static_cast<size_t>(e.length()) >= kMaxRawPayload) {
        return fail("bad length");
    }
    Bytes entity = e.entity();
    if (e.codex_isSet() && e.codex() == 1) {
        const auto sig = fromHex(e.signature());
        if (!sig) return fail("bad signature");
        auto plain = decrypt(entity, *sig);
        if (!plain) return fail("cannot decrypt");
        entity = std::move(*plain);
    }
    auto payload = TLANDeflated::inflatedData(entity, static_cast<size_t>(e.length()));
    if (!payload) return fail("cannot inflate to the stated length");
    return payload;
}
