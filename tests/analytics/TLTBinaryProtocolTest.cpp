#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "analytics/device/TLANUtil.h"
#include "analytics/wire/TLTStructures.h"
#include "support/TestSupport.h"

namespace {

std::vector<uint8_t> fromHex(const std::string& hex) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

// The same samples as the Python peer's.
struct Samples {
    TLTIdSnapshot snapA, snapB;
    TLTIdJournal j1, j2;
    TLTImprintValue v1, v2;
    TLTImprint imprint;
    TLEnvelope envelope;
    TLTIdTracking tracking;
    TLTResponse response;

    Samples() {
        snapA.set_identity("udid-1");
        snapA.set_ts(1700000000123);
        snapA.set_version(2);
        snapB.set_identity("");
        snapB.set_ts(-1);
        snapB.set_version(0);
        j1.set_domain("udid");
        j1.set_old_id("old");
        j1.set_new_id("new");
        j1.set_ts(-5);
        j2.set_domain("idfa");
        j2.set_new_id("fresh");
        j2.set_ts(int64_t{1} << 40);
        v1.set_value("1");
        v1.set_ts(1700000000000);
        v1.set_guid("g1");
        v2.set_ts(7);
        v2.set_guid("g2");
        imprint.set_property({{"codex", v1}, {"defcon", v2}});
        imprint.set_version(3);
        imprint.set_checksum("x");
        envelope.set_version("V1.0");
        envelope.set_address("5f8e2a91c3d74b06e1a9c2d7");
        std::string sig, guid;
        for (int i = 0; i < 32; ++i) sig += "ab", guid += "cd";
        envelope.set_signature(sig);
        envelope.set_serial_num(7);
        envelope.set_ts_secs(1700000000);
        envelope.set_length(1234);
        envelope.set_entity({0x00, 0x01, 0xff, 0x80, 'z', 'l', 'i', 'b'});
        envelope.set_guid(guid);
        envelope.set_checksum("0123456789abcdef0123456789abcdef");
        envelope.set_codex(1);
        tracking.set_snapshots({{"idfa", snapB}, {"udid", snapA}});
        tracking.set_journals({j1, j2});
        tracking.set_checksum("c");
        response.set_resp_code(1);
        response.set_msg("ok 成功");
        response.set_imprint(imprint);
    }

    // The other structures travel inside these.
    std::map<std::string, std::vector<uint8_t>> bytes() const {
        return {{"TLEnvelope", TLTSerialize(envelope)},
                {"IdTracking", TLTSerialize(tracking)},
                {"Response", TLTSerialize(response)}};
    }
};

template <class T>
void expectRoundTrip(const T& sample, const std::vector<uint8_t>& peerBytes) {
    const T decoded = TLTDeserialize<T>(peerBytes);
    EXPECT_EQ(decoded, sample) << decoded.description();
}

}  // namespace

TEST(ThriftWireFormat, WritesWhatApacheThriftWritesAndReadsItBack) {
    const std::string python = testsupport::systemPython();
    if (python.empty() || testsupport::run("command -v thrift >/dev/null") != 0) {
        GTEST_SKIP() << "python3-thrift or thrift-compiler missing";
    }
    testsupport::TempDir gen;
    const std::string src = QUELLIO_TEST_SOURCE_DIR "/tests/analytics/";
    ASSERT_EQ(testsupport::run("thrift --gen py -out " + gen.path() + " " + src + "tally.thrift"),
              0);

    std::string peerOut;
    ASSERT_EQ(
        testsupport::run(python + " " + src + "thrift_peer.py " + gen.path(), &peerOut),
        0);
    std::map<std::string, std::string> peer;
    std::istringstream lines(peerOut);
    for (std::string name, hex; lines >> name >> hex;) peer[name] = hex;
    ASSERT_EQ(peer.size(), 3u);

    // Byte for byte what Apache Thrift writes, so it reads ours as well.
    Samples s;
    for (const auto& [name, bytes] : s.bytes()) {
        EXPECT_EQ(TLANUtil::hexString(bytes), peer[name]) << name;
    }

    expectRoundTrip(s.envelope, fromHex(peer["TLEnvelope"]));
    expectRoundTrip(s.tracking, fromHex(peer["IdTracking"]));
    expectRoundTrip(s.response, fromHex(peer["Response"]));
}

TEST(ThriftWireFormat, RequiredFieldsAreCheckedBeforeWriting) {
    Samples s;
    TLEnvelope e = s.envelope;
    e.unset_entity();
    try {
        TLTSerialize(e);
        FAIL();
    } catch (const TLTProtocolException& x) {
        EXPECT_EQ(x.name(), "TProtocolException");
        EXPECT_STREQ(x.what(), "Required field 'entity' is not set.");
    }
}

TEST(ThriftWireFormat, ReaderRefusesBrokenInputWithoutOverreading) {
    Samples s;
    auto bytes = TLTSerialize(s.response);
    bytes.pop_back();
    try {
        TLTDeserialize<TLTResponse>(bytes);
        FAIL();
    } catch (const TLTTransportException& x) {
        EXPECT_STREQ(x.what(), "Not enough bytes remain in buffer");
    }
    // A string claiming more bytes than the buffer holds is refused before
    // anything is allocated for it.
    const std::vector<uint8_t> huge = {TLTTypeString, 0, 2, 0x7f, 0xff, 0xff, 0xff, 'x'};
    EXPECT_THROW(TLTDeserialize<TLTResponse>(huge), TLTTransportException);
    const std::vector<uint8_t> negative = {TLTTypeString, 0, 2, 0xff, 0xff, 0xff, 0xfe};
    EXPECT_THROW(TLTDeserialize<TLTResponse>(negative), TLTProtocolException);
    // Nesting beyond any real structure.
    std::vector<uint8_t> deep;
    for (int i = 0; i < 100; ++i) deep.insert(deep.end(), {TLTTypeStruct, 0, 9});
    EXPECT_THROW(TLTDeserialize<TLTResponse>(deep), TLTProtocolException);
    // A response without its required code.
    EXPECT_THROW(TLTDeserialize<TLTResponse>(std::vector<uint8_t>{0}), TLTProtocolException);
}

TEST(ThriftWireFormat, UnknownFieldsAreSkipped) {
    Samples s;
    TLTMemoryBuffer out;
    TLTBinaryProtocol p(out);
    p.writeFieldBegin(TLTTypeMap, 40);
    p.writeMapBegin(TLTTypeString, TLTTypeList, 1);
    p.writeString("k");
    p.writeListBegin(TLTTypeDouble, 2);
    p.writeDouble(1.5);
    p.writeDouble(2.5);
    p.writeFieldBegin(TLTTypeString, 1);  // known id, wrong type
    p.writeString("not a code");
    auto bytes = out.getBuffer();
    const auto rest = TLTSerialize(s.response);
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    EXPECT_EQ(TLTDeserialize<TLTResponse>(bytes), s.response);
}

TEST(ThriftWireFormat, ImprintChecksum) {
    TLTImprint imprint;
    TLTImprintValue codex, Defcon;
    codex.set_value("1");
    codex.set_ts(5);
    codex.set_guid("g");
    Defcon.set_ts(6);
    Defcon.set_guid("h");
    imprint.set_property({{"codex", codex}, {"Defcon", Defcon}});
    imprint.set_version(2);
    // Keys in case-insensitive order; an unset value leaves only ts and guid.
    EXPECT_EQ(imprint.computeChecksum(), TLANUtil::md5Lower("codex15gDefcon6h2"));
    EXPECT_FALSE(imprint.checksumValid());
    imprint.set_checksum(imprint.computeChecksum());
    EXPECT_TRUE(imprint.checksumValid());
    EXPECT_EQ(imprint.valueForKey("codex"), "1");
    EXPECT_EQ(imprint.valueForKey("Defcon"), std::nullopt);
}
