#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "foundation/KeyedArchive.h"
#include "foundation/PropertyList.h"

namespace platform {
// Readable failures.
static void PrintTo(const Value& v, std::ostream* os) {
    *os << v.description();
}
}  // namespace platform

using platform::Date;
using platform::KeyedArchiver;
using platform::KeyedUnarchiver;
using platform::Uid;
using platform::Value;

namespace {

struct TestRecord : platform::Coding {
    std::string title;
    Value created;
    int64_t plays = 0;
    bool favourite = false;
    double volume = 1;
    Value extra;
    std::shared_ptr<const TestRecord> child;

    std::vector<std::string> archiveClassHierarchy() const override {
        return {"TestRecord", "NSObject"};
    }
    void encodeWithCoder(KeyedArchiver& c) const override {
        c.encodeObject(title, "title");
        c.encodeObject(created, "created");
        c.encodeInt64(plays, "plays");
        c.encodeBool(favourite, "$favourite");
        c.encodeDouble(volume, "volume");
        if (!extra.isNull()) c.encodeObject(extra, "extra");
        if (child) c.encodeObject(Value(child), "child");
    }
    // Rejects a record without a title, as real records refuse incomplete fields.
    static platform::ObjectRef decode(KeyedUnarchiver& c) {
        Value title = c.decodeObjectForKey("title");
        if (!title.isString()) return nullptr;
        auto r = std::make_shared<TestRecord>();
        r->title = *title.asString();
        r->created = c.decodeObjectForKey("created");
        r->plays = c.decodeInt64ForKey("plays").value_or(-1);
        r->favourite = c.decodeBoolForKey("$favourite").value_or(false);
        r->volume = c.decodeDoubleForKey("volume").value_or(-1);
        r->extra = c.decodeObjectForKey("extra");
        r->child = c.decodeObjectForKey("child").asObject<TestRecord>();
        return r;
    }
};

const KeyedUnarchiver::ClassTable kClasses{{"TestRecord", TestRecord::decode}};

std::shared_ptr<TestRecord> record(std::string title, Value created = Date{705049689.25}) {
    auto r = std::make_shared<TestRecord>();
    r->title = std::move(title);
    r->created = std::move(created);
    return r;
}

std::vector<uint8_t> archiveOf(const Value& root) {
    std::string error;
    auto data = KeyedArchiver::archivedDataWithRootObject(root, &error);
    EXPECT_TRUE(data) << error;
    return data.value_or(std::vector<uint8_t>{});
}

std::vector<uint8_t> binary(const Value& v) {
    return *platform::PropertyList::serialize(v, platform::PropertyList::Format::Binary);
}

// An archive with the given $objects, for shapes no archiver writes.
std::vector<uint8_t> handMade(Value::Array objects, Value root = Uid{1}) {
    return binary(Value::Dictionary{{"$archiver", "NSKeyedArchiver"},
                                    {"$version", 100000},
                                    {"$top", Value::Dictionary{{"root", std::move(root)}}},
                                    {"$objects", std::move(objects)}});
}

// A valid archive with its top-level dictionary changed by `edit`.
template <class Edit>
std::vector<uint8_t> edited(Edit edit) {
    auto v = *platform::PropertyList::parse(archiveOf("x"));
    edit(*v.asDictionary());
    return binary(v);
}

// A class entry: `name`, then `parent` if given, then NSObject.
Value classEntry(const char* name, const char* parent = nullptr) {
    Value::Array chain{name};
    if (parent) chain.push_back(parent);
    chain.push_back("NSObject");
    return Value::Dictionary{{"$classname", name}, {"$classes", chain}};
}

}  // namespace

TEST(KeyedArchive, ObjectsAndValuesRoundTripInTheStandardLayoutWithSharingKept) {
    auto first = record("第一");
    first->plays = 3;
    first->favourite = true;
    first->volume = 0.5;
    first->extra = Value::Dictionary{{"键", Value::Array{1, 2.5, "x", Value(), Value::Data{1, 2}}}};
    auto second = record("second", Date{-31622401});
    second->child = first;
    const std::vector<uint8_t> data =
        archiveOf(Value::Array{first, second, first, "第一", Date{915148800}});

    // The layout other readers expect: shared class entries, objects and
    // equal strings stored once, scalars inline, '$' keys escaped, null as
    // the reference 0. (The frame, dates and arrays a reader written from the
    // format alone walks: CollectionFileInterop.OurFileCanBeWalkedFromTheFormatAlone.)
    auto plist = platform::PropertyList::parse(data);
    ASSERT_TRUE(plist);
    const Value::Array& objects = *plist->find("$objects")->asArray();
    auto at = [&](const Value& ref) -> const Value& { return objects.at(ref.asUid()->value); };
    int records = 0, recordClasses = 0, titles = 0;
    for (const Value& o : objects) {
        titles += o == Value("第一");
        recordClasses += o == classEntry("TestRecord");
        records += o.find("plays") != nullptr;
    }
    EXPECT_EQ(std::tie(records, recordClasses, titles), std::make_tuple(2, 1, 1));
    const auto rec = std::find_if(objects.begin(), objects.end(),
                                  [](const Value& o) { return o.find("$$favourite"); });
    ASSERT_NE(rec, objects.end());
    EXPECT_EQ(std::tie(*rec->find("$$favourite"), *rec->find("plays"), *rec->find("volume")),
              std::make_tuple(Value(true), Value(3), Value(0.5)));
    EXPECT_EQ(at(*rec->find("title")), Value("第一"));
    const Value& extra = at(*rec->find("extra"));
    EXPECT_EQ(at(*extra.find("$class")), classEntry("NSDictionary"));
    EXPECT_EQ(at(extra.find("NS.keys")->asArray()->at(0)), Value("键"));
    const Value& list = at(extra.find("NS.objects")->asArray()->at(0));
    EXPECT_EQ(list.find("NS.objects")->asArray()->at(3), Value(Uid{0}));

    // Read back as written and in XML, where a UID is a {"CF$UID": n} dictionary.
    for (const auto& bytes :
         {data, *platform::PropertyList::serialize(*plist, platform::PropertyList::Format::Xml)}) {
        std::string error;
        auto back = KeyedUnarchiver::unarchiveObjectWithData(bytes, kClasses, &error);
        ASSERT_TRUE(back && back->isArray()) << error;
        const Value::Array& items = *back->asArray();
        ASSERT_EQ(items.size(), 5u);
        auto a = items[0].asObject<TestRecord>();
        auto b = items[1].asObject<TestRecord>();
        ASSERT_TRUE(a && b);
        EXPECT_EQ(items[2], items[0]) << "one object referenced twice decodes once";
        EXPECT_EQ(b->child, a);
        EXPECT_EQ(std::tie(a->title, a->created, a->plays, a->favourite, a->volume, a->extra),
                  std::tie(first->title, first->created, first->plays, first->favourite,
                           first->volume, first->extra));
        EXPECT_EQ(b->created, Value(Date{-31622401}));
        EXPECT_EQ(items[3], Value("第一"));
        EXPECT_EQ(items[4], Value(Date{915148800}));
    }
}

TEST(KeyedArchive, ArchivingRefusesWhatCannotBeReadBack) {
    struct Plain : platform::Object {};
    struct Loop : platform::Coding {
        std::weak_ptr<const Loop> self;
        std::vector<std::string> archiveClassHierarchy() const override { return {"Loop"}; }
        void encodeWithCoder(KeyedArchiver& c) const override {
            c.encodeObject(Value(self.lock()), "me");
        }
    };
    struct Nameless : platform::Coding {
        std::vector<std::string> archiveClassHierarchy() const override { return {}; }
        void encodeWithCoder(KeyedArchiver&) const override {}
    };
    auto loop = std::make_shared<Loop>();
    loop->self = loop;
    Value deep = "leaf";
    for (int i = 0; i < KeyedArchiver::kMaxDepth; ++i) deep = Value::Array{deep};

    for (const Value& root : {Value(), Value(Uid{1}), Value(std::make_shared<Plain>()), Value(loop),
                              Value(std::make_shared<Nameless>()), deep,
                              Value(Value::Array{std::string("nul\0", 4)})}) {
        std::string error;
        EXPECT_FALSE(KeyedArchiver::archivedDataWithRootObject(root, &error)) << root.description();
        EXPECT_FALSE(error.empty());
    }
    loop->self.reset();
}

TEST(KeyedUnarchiver, UnknownOrRejectedObjectsDecodeAsNull) {
    // Archived under `name`, with a title TestRecord refuses.
    struct Odd : platform::Coding {
        std::string name;
        explicit Odd(std::string n) : name(std::move(n)) {}
        std::vector<std::string> archiveClassHierarchy() const override { return {name}; }
        void encodeWithCoder(KeyedArchiver& c) const override { c.encodeInt64(1, "title"); }
    };
    auto back = KeyedUnarchiver::unarchiveObjectWithData(
        archiveOf(Value::Array{record("kept"), std::make_shared<Odd>("Other"),
                               std::make_shared<Odd>("TestRecord")}),
        kClasses);
    ASSERT_TRUE(back && back->isArray());
    const Value::Array& items = *back->asArray();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_TRUE(items[0].asObject<TestRecord>());
    EXPECT_TRUE(items[1].isNull());
    EXPECT_TRUE(items[2].isNull());

    auto lone =
        KeyedUnarchiver::unarchiveObjectWithData(archiveOf(std::make_shared<Odd>("Other")), {});
    ASSERT_TRUE(lone) << "an unknown root class is not damage";
    EXPECT_TRUE(lone->isNull());
}

TEST(KeyedUnarchiver, DamagedArchivesFailWithAReason) {
    const Value array = classEntry("NSArray");
    auto arrayOf = [](Value::Array refs, uint64_t cls) {
        return Value::Dictionary{{"NS.objects", std::move(refs)}, {"$class", Uid{cls}}};
    };
    Value::Array chain{"$null", array};
    for (int i = 0; i <= KeyedUnarchiver::kMaxDepth; ++i) {
        chain.push_back(arrayOf({Uid{chain.size() + 1}}, 1));
    }
    chain.push_back("leaf");
    // Each level holds the next twice: small on disk, 2^40 values decoded.
    Value::Array fan{"$null", array};
    for (int i = 0; i < 40; ++i)
        fan.push_back(arrayOf({Uid{fan.size() + 1}, Uid{fan.size() + 1}}, 1));
    fan.push_back("leaf");

    struct Case {
        const char* what;
        std::vector<uint8_t> data;
        const char* reason;
    };
    const std::vector<Case> cases{
        {"not a property list", {'n', 'o', 'p', 'e'}, "malformed"},
        {"root not a dictionary", binary(Value::Array{1}), "NSKeyedArchiver"},
        {"wrong archiver", edited([](auto& d) { d["$archiver"] = "Other"; }), "NSKeyedArchiver"},
        {"no $objects", edited([](auto& d) { d.erase("$objects"); }), "$objects"},
        {"root not a UID", handMade({"$null", "x"}, 1), "root"},
        {"root out of range", handMade({"$null"}, Uid{1}), "range"},
        {"array holding itself", handMade({"$null", arrayOf({Uid{1}}, 2), array}), "cycle"},
        {"object without class",
         handMade({"$null", Value::Dictionary{{"NS.objects", Value::Array{}}}}), "$class"},
        {"class not a class entry", handMade({"$null", arrayOf({}, 1)}), "class description"},
        {"member not a reference", handMade({"$null", arrayOf({1}, 2), array}),
         "malformed NSArray"},
        {"plain array entry", handMade({"$null", Value::Array{}}), "plain array"},
        {"nested too deeply", handMade(chain, Uid{2}), "deeply"},
        {"sharing expands too far", handMade(fan, Uid{2}), "expand"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(KeyedUnarchiver::unarchiveObjectWithData(c.data, kClasses, &error)) << c.what;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
    }
}

// Other archivers write mutable classes, whole-second dates as integers
// and plain strings through NSString objects.
TEST(KeyedUnarchiver, ReadsTheFormsOtherArchiversWrite) {
    auto object = [](Value::Dictionary fields, uint64_t cls) {
        fields["$class"] = Uid{cls};
        return Value(std::move(fields));
    };
    const auto data = handMade({
        "$null",
        object({{"NS.objects", Value::Array{Uid{3}, Uid{5}, Uid{3}}}}, 2),
        classEntry("NSMutableArray", "NSArray"),
        object({{"NS.string", "录音一"}}, 4),
        classEntry("NSMutableString", "NSString"),
        object({{"NS.keys", Value::Array{Uid{3}}}, {"NS.objects", Value::Array{Uid{7}}}}, 6),
        classEntry("NSMutableDictionary", "NSDictionary"),
        object({{"NS.time", 915148800}}, 8),
        classEntry("NSDate"),
    });
    std::string error;
    EXPECT_EQ(
        KeyedUnarchiver::unarchiveObjectWithData(data, kClasses, &error),
        Value(Value::Array{"录音一", Value::Dictionary{{"录音一", Date{915148800}}}, "录音一"}))
        << error;
}
