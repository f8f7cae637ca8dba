#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <functional>

#include "foundation/PropertyList.h"
#include "support/TestSupport.h"

namespace platform {
// Readable failures.
static void PrintTo(const Value& v, std::ostream* os) {
    *os << v.description();
}
}  // namespace platform

namespace PL = platform::PropertyList;
using platform::Date;
using platform::Uid;
using platform::Value;

namespace {

using Bytes = std::vector<uint8_t>;

// A hand-made binary list: objects given as raw bytes, references four bytes
// wide, so tests can build shapes no writer produces.
Bytes binaryList(const std::vector<Bytes>& objects, uint64_t top = 0) {
    Bytes out{'b', 'p', 'l', 'i', 's', 't', '0', '0'};
    std::vector<uint32_t> offsets;
    for (const Bytes& o : objects) {
        offsets.push_back(static_cast<uint32_t>(out.size()));
        out.insert(out.end(), o.begin(), o.end());
    }
    const uint64_t table = out.size();
    for (uint32_t off : offsets) {
        for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(off >> s));
    }
    Bytes trailer(32, 0);
    trailer[6] = 4;
    trailer[7] = 4;
    for (int i = 0; i < 8; ++i) {
        trailer[8 + i] = static_cast<uint8_t>(uint64_t{objects.size()} >> (56 - 8 * i));
        trailer[16 + i] = static_cast<uint8_t>(top >> (56 - 8 * i));
        trailer[24 + i] = static_cast<uint8_t>(table >> (56 - 8 * i));
    }
    out.insert(out.end(), trailer.begin(), trailer.end());
    return out;
}

// An array object (fewer than 15 members) referring to `refs`.
Bytes arrayOf(std::initializer_list<uint32_t> refs) {
    Bytes o{static_cast<uint8_t>(0xA0 | refs.size())};
    for (uint32_t r : refs) {
        for (int s = 24; s >= 0; s -= 8) o.push_back(static_cast<uint8_t>(r >> s));
    }
    return o;
}

Bytes asBytes(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

std::string nestedXml(int depth) {
    std::string xml = "<plist>";
    for (int i = 0; i < depth; ++i) xml += "<array>";
    for (int i = 0; i < depth; ++i) xml += "</array>";
    return xml + "</plist>";
}

// Every type, with the widths where the binary encoding changes: one- to
// eight-byte integers and references, long text and data.
Value sample() {
    return Value(Value::Dictionary{
        {"标题", "掌声 Applause ✓ 😀"},
        {"escapes", "a<b & c>d ]]> \t\n"},
        {"numbers", Value::Array{INT64_MIN, -1, 0, 255, 256, 65536, 4294967296LL, INT64_MAX, 0.1,
                                 -2.5e-300, true, false}},
        {"data", Value::Array{Value::Data{0, 1, 0xFE, 0xFF}, Value::Data(20, 0xAB)}},
        {"empty", Value::Dictionary{{"", Value::Data{}}, {"list", Value::Array{}}}},
        {"dates", Value::Array{Date{705049689.123456}, Date{-0.25}, Date{-3187296000.0},
                               Date{6279811200.5}}},
        {"uid", Uid{300}},
        {"uids", Value::Array{Uid{7}, Uid{70000}}},
    });
}

}  // namespace

TEST(PropertyList, EveryTypeRoundTripsInBothFormatsThroughFiles) {
    testsupport::TempDir dir;
    const Value value = sample();
    for (PL::Format format : {PL::Format::Binary, PL::Format::Xml}) {
        const std::string path = dir.file(format == PL::Format::Xml ? "v.xml" : "v.bplist");
        std::string error;
        ASSERT_TRUE(PL::writeFile(path, value, format, &error)) << error;
        auto back = PL::readFile(path, &error);
        ASSERT_TRUE(back) << error;
        if (format == PL::Format::Binary) {
            EXPECT_EQ(*back, value);
            continue;
        }
        // XML dates keep whole seconds, rounded down like other writers do
        // (libplist alone would round -0.25 up to 0).
        Value expected = value;
        (*expected.asDictionary())["dates"] =
            Value::Array{Date{705049689}, Date{-1}, Date{-3187296000.0}, Date{6279811200}};
        EXPECT_EQ(*back, expected);
    }
    std::string error;
    EXPECT_FALSE(PL::readFile(dir.file("absent.plist"), &error));
    EXPECT_NE(error.find("absent.plist"), std::string::npos);
}

TEST(PropertyList, RefusesToWriteWhatAListCannotHold) {
    auto refused = [](const Value& v, PL::Format format = PL::Format::Binary) {
        std::string error;
        bool failed = !PL::serialize(v, format, &error);
        return failed && !error.empty();
    };
    struct Thing : platform::Object {};
    EXPECT_TRUE(refused(Value()));
    EXPECT_TRUE(refused(Value(Value::Array{1, Value()})));
    EXPECT_TRUE(refused(Value(std::make_shared<Thing>())));
    EXPECT_TRUE(refused(Value(std::string("a\0b", 3))));
    EXPECT_TRUE(refused(Value(Value::Dictionary{{"bad\xFF", 1}})));
    EXPECT_TRUE(refused(Value(Value::Dictionary{{std::string("k\0", 2), 1}})));
    EXPECT_TRUE(refused(Value(Date{NAN})));
    EXPECT_TRUE(refused(Value(Date{1e12})));
    // XML has no way to write most control characters; binary has.
    EXPECT_TRUE(refused(Value("bell\a"), PL::Format::Xml));
    EXPECT_FALSE(refused(Value("bell\a")));

    Value deep = Value::Array{};
    for (int i = 0; i < PL::kMaxDepth + 1; ++i) {
        Value::Array outer;
        outer.push_back(std::move(deep));
        deep = std::move(outer);
    }
    EXPECT_TRUE(refused(deep));
}

TEST(PropertyList, MalformedAndHostileInputFailsWithAReason) {
    auto rejects = [](const Bytes& bytes) {
        std::string error;
        bool failed = !PL::parse(bytes, &error);
        return failed && !error.empty();
    };
    EXPECT_TRUE(rejects({}));
    EXPECT_TRUE(rejects(asBytes("not a property list")));
    EXPECT_TRUE(rejects(asBytes("<plist><array><string>x</array></plist>")));
    EXPECT_TRUE(rejects(asBytes("<plist><array><!-- never closed")));
    EXPECT_TRUE(rejects(Bytes(PL::kMaxInputSize + 1, ' ')));

    // Every truncation of a valid binary list fails cleanly.
    const Bytes whole = *PL::serialize(sample(), PL::Format::Binary);
    for (size_t n = 0; n < whole.size(); ++n) {
        EXPECT_TRUE(rejects(Bytes(whole.begin(), whole.begin() + n))) << n << " bytes";
    }

    // libplist overflows its stack on a few ten thousand levels.
    EXPECT_TRUE(PL::parse(asBytes(nestedXml(PL::kMaxDepth))));
    EXPECT_TRUE(rejects(asBytes(nestedXml(PL::kMaxDepth + 1))));
    EXPECT_TRUE(rejects(asBytes(nestedXml(100000))));
    // libplist's XML reader is quadratic in the keys of a dictionary.
    auto xmlDictionary = [](uint32_t keys) {
        std::string xml = "<plist><dict>";
        for (uint32_t i = 0; i < keys; ++i) xml += "<key>" + std::to_string(i) + "</key><true/>";
        return asBytes(xml + "</dict></plist>");
    };
    EXPECT_TRUE(PL::parse(xmlDictionary(PL::kMaxXmlDictionaryKeys)));
    EXPECT_TRUE(rejects(xmlDictionary(PL::kMaxXmlDictionaryKeys + 1)));

    std::vector<Bytes> chain;
    for (uint32_t i = 1; i < 200000; ++i) chain.push_back(arrayOf({i}));
    chain.push_back(arrayOf({}));
    EXPECT_TRUE(rejects(binaryList(chain)));

    EXPECT_TRUE(rejects(binaryList({arrayOf({1}), arrayOf({0})}))) << "cycle";
    EXPECT_TRUE(rejects(binaryList({arrayOf({5})}))) << "reference out of range";
    // Each level refers twice to the next: 2^40 nodes once libplist copies them.
    std::vector<Bytes> fan;
    for (uint32_t i = 1; i < 40; ++i) fan.push_back(arrayOf({i, i}));
    fan.push_back(arrayOf({}));
    EXPECT_TRUE(rejects(binaryList(fan)));

    // libplist asserts on a dictionary key that is not a string or holds a
    // NUL (found by fuzzing).
    const Bytes value{0x09};                         // true
    const Bytes dict{0xD1, 0, 0, 0, 1, 0, 0, 0, 2};  // {objects[1]: objects[2]}
    EXPECT_TRUE(rejects(binaryList({dict, {0x10, 7}, value})));
    EXPECT_TRUE(rejects(binaryList({dict, {0x53, 'a', 0, 'b'}, value})));
    // A stray byte in text is no reason to refuse the file; it reads as U+FFFD.
    const auto ok = PL::parse(binaryList({dict, {0x53, 'a', 0xFF, 'c'}, value}));
    ASSERT_TRUE(ok);
    EXPECT_EQ(*ok, Value(Value::Dictionary{{"a\xEF\xBF\xBD"
                                            "c",
                                            true}}));
}

TEST(PropertyList, XmlNumbersReadTheSameUnderACommaDecimalLocale) {
    // The GUI runs under the user's locale; libplist's XML reader uses strtod.
    testsupport::TempDir dir;
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    const char* locale = std::setlocale(LC_ALL, "de_DE.UTF-8");
    if (!locale && testsupport::run("localedef -i de_DE -f UTF-8 " + dir.file("de_DE.UTF-8") +
                                    " 2>/dev/null") == 0) {
        ::setenv("LOCPATH", dir.path().c_str(), 1);
        locale = std::setlocale(LC_ALL, "de_DE.UTF-8");
        ::unsetenv("LOCPATH");
    }
    if (!locale) GTEST_SKIP() << "no comma-decimal locale available";
    auto back = PL::parse(*PL::serialize(Value(Value::Array{0.5, -2.25e-3}), PL::Format::Xml));
    std::setlocale(LC_ALL, saved.c_str());
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, Value(Value::Array{0.5, -2.25e-3}));
}

TEST(PropertyList, InteroperatesWithPythonPlistlib) {
    const std::string python = testsupport::systemPython();
    if (python.empty()) GTEST_SKIP() << "no /usr/bin/python3";
    testsupport::TempDir dir;
    // Python reads ours and writes it back, so both readers see what we
    // wrote; the long array needs four-byte references and offsets. Python
    // alone writes an integer beyond 64 signed bits.
    Value::Array many;
    for (int i = 0; i < 70000; ++i) many.push_back(i * 7 - 3);
    Value ours = sample();
    (*ours.asDictionary())["many"] = many;
    ASSERT_TRUE(PL::writeFile(dir.file("ours.bplist"), ours, PL::Format::Binary));
    testsupport::writeText(dir.file("copy.py"), R"(
import plistlib, sys
v = plistlib.loads(open(sys.argv[1], "rb").read())
open(sys.argv[2], "wb").write(plistlib.dumps(v, fmt=plistlib.FMT_BINARY, sort_keys=False))
open(sys.argv[3], "wb").write(plistlib.dumps({"big": 2**64 - 1}, fmt=plistlib.FMT_BINARY))
)");
    ASSERT_EQ(testsupport::run(python + " " + dir.file("copy.py") + " " + dir.file("ours.bplist") +
                               " " + dir.file("copy.bplist") + " " + dir.file("py.bplist")),
              0);
    std::string error;
    EXPECT_EQ(PL::readFile(dir.file("copy.bplist"), &error), ours) << error;
    EXPECT_EQ(PL::readFile(dir.file("py.bplist"), &error),
              Value(Value::Dictionary{{"big", 18446744073709551615.0}}))
        << error;
}

TEST(PropertyListBuilder, BuildsNestedContainersInPlaceAndTheLastValueOfAKeyCounts) {
    using B = PL::Builder;
    for (PL::Format format : {PL::Format::Binary, PL::Format::Xml}) {
        B builder(format);
        B::Container* top = builder.top();
        builder.append(builder.addArray(top, "replaced"), 1);
        builder.add(top, "replaced", "the last value counts");
        B::Container* list = builder.addArray(top, "list");
        builder.append(list, "掌声 ✓");
        builder.add(builder.appendDictionary(builder.appendArray(list)), "uid", Uid{300});
        builder.addDictionary(top, "empty");
        std::string error;
        auto bytes = builder.result(&error);
        ASSERT_TRUE(bytes) << error;
        EXPECT_EQ(PL::parse(*bytes),
                  Value(Value::Dictionary{
                      {"replaced", "the last value counts"},
                      {"list",
                       Value::Array{"掌声 ✓", Value::Array{Value::Dictionary{{"uid", Uid{300}}}}}},
                      {"empty", Value::Dictionary{}}}));
    }
}

TEST(PropertyListBuilder, RefusesMisusedContainersAndKeepsTheFirstReason) {
    using B = PL::Builder;
    auto reason = [](PL::Format format, const std::function<void(B&)>& build) {
        B builder(format);
        build(builder);
        std::string error;
        EXPECT_FALSE(builder.result(&error));
        return error;
    };
    // Values are refused as serialize refuses them; here, a container used
    // as the other kind.
    EXPECT_NE(reason(PL::Format::Binary, [](B& b) { b.append(b.top(), 1); }).find("array"),
              std::string::npos);
    EXPECT_NE(reason(PL::Format::Binary,
                     [](B& b) { b.add(b.appendArray(b.addArray(b.top(), "a")), "k", 1); })
                  .find("dictionary"),
              std::string::npos);

    // Later calls do nothing, null containers included, and the first reason stays.
    const std::string first = reason(PL::Format::Binary, [](B& b) {
        b.add(b.top(), "bad\xFF", 1);
        B::Container* after = b.addArray(b.top(), "after");
        EXPECT_EQ(after, nullptr);
        b.append(after, std::string("nul\0", 4));
        b.add(b.top(), "fine", 2);
    });
    EXPECT_NE(first.find("key must be valid UTF-8"), std::string::npos) << first;

    // Containers count toward the nesting limit, whichever way they are made.
    auto deepestAt = [](int depth, bool lastAsValue) {
        B b(PL::Format::Binary);
        B::Container* c = b.addArray(b.top(), "a");
        for (int d = 2; d < depth; ++d) c = b.appendArray(c);
        if (lastAsValue) {
            b.append(c, Value::Array{});
        } else {
            b.appendArray(c);
        }
        return b.result().has_value();
    };
    for (bool asValue : {false, true}) {
        EXPECT_TRUE(deepestAt(PL::kMaxDepth, asValue));
        EXPECT_FALSE(deepestAt(PL::kMaxDepth + 1, asValue));
    }
}

// Navigation by member, element and UID is KeyedUnarchiver's, tested with
// archives in both formats; here, values of every type and what is no UID.
TEST(PropertyListDocument, ReadsWhatParseReads) {
    for (PL::Format format : {PL::Format::Binary, PL::Format::Xml}) {
        const Bytes bytes = *PL::serialize(sample(), format);
        std::string error;
        auto doc = PL::Document::parse(bytes, &error);
        ASSERT_TRUE(doc) << error;
        const PL::Document::Node* root = doc->root();
        EXPECT_EQ(doc->value(root), PL::parse(bytes));
        EXPECT_EQ(doc->uid(doc->member(root, "uid")), 300u);
        EXPECT_EQ(doc->uid(root), std::nullopt);
        EXPECT_TRUE(doc->elements(root).empty());
        EXPECT_EQ(doc->member(doc->member(root, "numbers"), "0"), nullptr);
    }
    // Only a number that is not negative makes such a dictionary a UID.
    for (const char* n : {"7", "-7"}) {
        const Bytes xml = asBytes(std::string("<plist><array><dict><key>CF$UID</key><integer>") +
                                  n + "</integer></dict></array></plist>");
        auto doc = PL::Document::parse(xml);
        ASSERT_TRUE(doc);
        const PL::Document::Node* item = doc->elements(doc->root()).at(0);
        EXPECT_EQ(doc->type(item), PL::parse(xml)->asArray()->at(0).type()) << n;
        EXPECT_EQ(doc->value(item), PL::parse(xml)->asArray()->at(0)) << n;
    }

    std::string error;
    EXPECT_FALSE(PL::Document::parse(asBytes("not a property list"), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(PL::Document::parse(binaryList({arrayOf({1}), arrayOf({0})}))) << "cycle";
}
