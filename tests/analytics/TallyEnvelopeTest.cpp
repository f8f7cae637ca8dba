#include <filesystem>
#include <random>

#include "TallyDataHarness.h"
#include "analytics/device/TLANUtil.h"
#include "analytics/wire/TLANDeflated.h"
#include "analytics/wire/TallyEnvelope.h"
#include "support/TestSupport.h"
#include "foundation/Files.h"

using nlohmann::json;

namespace {

std::vector<uint8_t> randomBytes(size_t n) {
    std::mt19937 random(7);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(random());
    return v;
}

}  // namespace

class TallyEnvelopeTest : public TallyDataHarness {
protected:
    void SetUp() override { startOffline(); }

    // Makes an envelope of what is collected and reads its file back.
    TLEnvelope nextEnvelope() {
        EXPECT_TRUE(data->envelope().makeEnvelopeData());
        const auto bytes = platform::readFile(data->envelope().lastFilePath);
        EXPECT_TRUE(bytes);
        auto e = TallyEnvelope::readEnvelope(bytes.value_or(std::vector<uint8_t>{}));
        EXPECT_TRUE(e);
        return e.value_or(TLEnvelope{});
    }

    json payloadOf(const TLEnvelope& e) {
        std::string why;
        const auto payload = TallyEnvelope::openEntity(e, &why);
        EXPECT_TRUE(payload) << why;
        return json::parse(payload.value_or(std::vector<uint8_t>{'{', '}'}));
    }
};

TEST_F(TallyEnvelopeTest, EmptyCollectionsStillCarryTheHeaderAndActivation) {
    const json doc = payloadOf(nextEnvelope());
    for (const char* key :
         {"app_version",   "appkey",     "package_name", "sdk_type", "sdk_version",
          "channel",       "device_id",  "device_model", "os",       "os_version",
          "is_jailbroken", "resolution", "mc",           "access",   "access_subtype",
          "mccmnc",        "timezone",   "language",     "country",  "carrier",
          "display_name"}) {
        EXPECT_TRUE(doc["header"].contains(key)) << key;
    }
    EXPECT_FALSE(doc["header"].contains("secret"));
    EXPECT_EQ(doc["body"]["activate_msg"]["ts"], static_cast<int64_t>(kStart * 1000));
    // Sent once.
    EXPECT_FALSE(payloadOf(nextEnvelope())["body"].contains("activate_msg"));
}

TEST_F(TallyEnvelopeTest, EnvelopeFieldsAndSerialNumbers) {
    const auto before = runtime.config().integerWithKey("tlSerialNum").value_or(1);
    const TLEnvelope e = nextEnvelope();
    const TallyEnvelope& env = data->envelope();
    EXPECT_EQ(e.version(), "V1.0");
    EXPECT_EQ(e.address(), kTallyKey);
    EXPECT_EQ(e.serial_num(), before);
    EXPECT_EQ(e.ts_secs(), static_cast<int32_t>(kStart));
    ASSERT_TRUE(e.codex_isSet());
    EXPECT_EQ(e.codex(), 0);
    EXPECT_EQ(e.signature().size(), 64u);
    EXPECT_EQ(e.guid().size(), 64u);
    EXPECT_EQ(e.checksum(), TLANUtil::md5Lower(e.signature() + std::to_string(e.serial_num()) +
                                               std::to_string(e.ts_secs()) +
                                               std::to_string(e.length()) + e.guid()));
    // The guid's corners come from the signature, every byte XOR the time.
    const auto t = static_cast<uint32_t>(e.ts_secs());
    for (size_t i : {0u, 1u, 30u, 31u}) {
        EXPECT_EQ(env.guid[i], env.signature[i] ^ static_cast<uint8_t>(t >> (8 * (i % 4))));
    }
    EXPECT_EQ(env.guid[2], env.entityMD5[1] ^ static_cast<uint8_t>(t >> 16));
    EXPECT_EQ(env.guid[3], env.identityMD5[1] ^ static_cast<uint8_t>(t >> 24));
    const std::string name = std::filesystem::path(env.lastFilePath).filename();
    EXPECT_EQ(name, std::to_string(static_cast<int64_t>(kStart * 1000)) + "_envelope.log");

    // The signature stays; a second envelope in the same millisecond gets a
    // name of its own, and every attempt counts, a dropped one too.
    const auto signature = env.signatureString;
    const TLEnvelope second = nextEnvelope();
    EXPECT_EQ(second.serial_num(), before + 1);
    EXPECT_EQ(second.signature(), signature);
    EXPECT_EQ(envelopeFiles().size(), 2u);
    auto huge = std::make_shared<TLANError>();
    huge->context.assign(TallyEnvelope::kMaxRawPayload, 'x');
    collector().errors.push_back(huge);
    collector().events.push_back(std::make_shared<TLANEvent>());
    EXPECT_FALSE(data->envelope().makeEnvelopeData());
    EXPECT_EQ(runtime.config().integerWithKey("tlSerialNum"), before + 3);
    // The oversized data is not retried, but the service hears of it.
    EXPECT_FALSE(collector().hasPendingData());
    const auto items = meta();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].ck, "__data_size_of");
    EXPECT_EQ(items[0].label, "envelope_raw");
    EXPECT_GT(items[0].value, static_cast<int64_t>(TallyEnvelope::kMaxRawPayload));
}

TEST_F(TallyEnvelopeTest, EncryptionFollowsTheImprintThenTheSetting) {
    Tally::setEncryptEnabled(true);
    Tally::event("secret");
    loop.runUntilIdle();
    TLEnvelope e = nextEnvelope();
    EXPECT_EQ(e.codex(), 1);
    // What the service does with it: AES-128-CBC, the key the signature's
    // bytes 1 to 16, the IV "QuellioTallyIV01", then zlib.
    testsupport::TempDir dir;
    const auto& entity = e.entity();
    testsupport::writeText(dir.file("entity"), std::string(entity.begin(), entity.end()));
    std::string plain;
    ASSERT_EQ(testsupport::run("openssl enc -d -aes-128-cbc -K " + e.signature().substr(2, 32) +
                                   " -iv 5175656c6c696f54616c6c7949563031 -in " +
                                   dir.file("entity") + " | " + testsupport::systemPython() +
                                   " -c 'import sys, zlib; sys.stdout.buffer.write("
                                   "zlib.decompress(sys.stdin.buffer.read()))'",
                               &plain),
              0);
    EXPECT_EQ(static_cast<int32_t>(plain.size()), e.length());
    EXPECT_EQ(json::parse(plain)["body"]["ekv"][0].begin().value()[0]["id"], "secret");

    imprint({{"codex", "0"}});
    EXPECT_EQ(nextEnvelope().codex(), 0);
}

TEST_F(TallyEnvelopeTest, EntitySizeLimits) {
    std::vector<std::pair<int64_t, std::string>> dropped;
    auto drop = [&](int64_t size, const char* label) { dropped.emplace_back(size, label); };
    EXPECT_FALSE(
        TallyEnvelope::entityData(std::vector<uint8_t>(TallyEnvelope::kMaxRawPayload), drop));
    EXPECT_TRUE(
        TallyEnvelope::entityData(std::vector<uint8_t>(TallyEnvelope::kMaxRawPayload - 1), drop));
    ASSERT_EQ(dropped.size(), 1u);
    EXPECT_EQ(dropped[0], std::make_pair(int64_t{0x400000}, std::string("envelope_raw")));

    // Incompressible input grows by a byte a byte: find the edge.
    auto deflatedSize = [](size_t n) { return TLANDeflated::deflatedData(randomBytes(n))->size(); };
    size_t lo = 200'000, hi = 215'000;
    while (lo + 1 < hi) {
        const size_t mid = (lo + hi) / 2;
        (deflatedSize(mid) >= TallyEnvelope::kMaxDeflatedPayload ? hi : lo) = mid;
    }
    ASSERT_EQ(deflatedSize(lo), TallyEnvelope::kMaxDeflatedPayload - 1);
    EXPECT_TRUE(TallyEnvelope::entityData(randomBytes(lo), drop));
    EXPECT_FALSE(TallyEnvelope::entityData(randomBytes(hi), drop));
    ASSERT_EQ(dropped.size(), 2u);
    EXPECT_EQ(dropped[1].second, "envelope_deflated");
}

TEST_F(TallyEnvelopeTest, ReaderRejectsTamperedEnvelopes) {
    TLEnvelope e = nextEnvelope();
    std::string why;
    TLEnvelope wrongLength = e;
    wrongLength.set_length(e.length() + 1);
    EXPECT_FALSE(TallyEnvelope::openEntity(wrongLength, &why));
    EXPECT_EQ(why, "checksum mismatch");
    TLEnvelope corrupt = e;
    auto entity = e.entity();
    entity[entity.size() / 2] ^= 0xff;
    corrupt.set_entity(entity);
    EXPECT_FALSE(TallyEnvelope::openEntity(corrupt, &why));
    EXPECT_FALSE(TallyEnvelope::readEnvelope({1, 2, 3}));
}

TEST_F(TallyEnvelopeTest, ExchangeIdentityFile) {
    const std::string signature = nextEnvelope().signature();
    const auto text = platform::readFile(TallyUtility::exchangeIdentityPath(runtime));
    ASSERT_TRUE(text);
    const json doc = json::parse(*text);
    EXPECT_EQ(doc["appkey"], kTallyKey);
    EXPECT_EQ(doc["signature"], signature);
    // The checksum: upper-case MD5 of the lower-case hex of the signature's bytes 2 to 17.
    std::string bytes2to17 = signature.substr(4, 32);
    for (char& c : bytes2to17) c = static_cast<char>(std::tolower(c));
    EXPECT_EQ(doc["checksum"], TLANUtil::md5(bytes2to17));
    EXPECT_FALSE(doc.contains("tlid"));
}

TEST_F(TallyEnvelopeTest, CacheFileCarriesPendingDataUntilAnEnvelopeHoldsIt) {
    Tally::event("kept", "label");
    Tally::event("Ekv", Tally::Attributes{{"k", platform::Value("v")}});
    loop.runUntilIdle();
    post(platform::kApplicationWillResignActiveNotification);
    const std::string cache = TallyUtility::cacheFilePath(runtime);
    ASSERT_TRUE(std::filesystem::exists(cache));
    EXPECT_FALSE(collector().hasPendingData());
    EXPECT_EQ(runtime.config().stringWithKey("TLAppVersion"), runtime.app().appVersion());

    // Read back, and still on disk: a kill now loses nothing. Read once.
    for (int session = 0; session < 2; ++session) {
        post(platform::kApplicationDidBecomeActiveNotification);
        EXPECT_TRUE(std::filesystem::exists(cache));
        ASSERT_EQ(collector().events.size(), 1u);
        EXPECT_EQ(collector().events[0]->label, "label");
        ASSERT_EQ(collector().ekv.size(), 1u);
        EXPECT_EQ(collector().terminates.size(), 1u);
    }
    ASSERT_TRUE(data->makeEnvelope(collector()));
    EXPECT_FALSE(std::filesystem::exists(cache));
    EXPECT_FALSE(collector().hasPendingData());
}

// What the count does to new events: TallyCollector's eight-hour tests.
TEST_F(TallyEnvelopeTest, EnvelopesCountTheirEventsTowardsTheEightHourLimit) {
    Tally::event("a");
    Tally::event("b", Tally::Attributes{{"k", platform::Value("v")}});
    loop.runUntilIdle();
    ASSERT_TRUE(data->makeEnvelope(collector()));
    ASSERT_TRUE(data->makeEnvelope(collector()));  // nothing more to count
    EXPECT_EQ(config().integerWithKey("tlPeriodEvtCount"), 2);
}
