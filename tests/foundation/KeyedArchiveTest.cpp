#include <gtest/gtest.h>

#include <tuple>

#include "foundation/Files.h"
#include "foundation/KeyedArchive.h"
#include "foundation/PropertyList.h"
#include "support/TestSupport.h"

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

Value classEntry(const char* name) {
    return Value::Dictionary{{"$classname", name}, {"$classes", Value::Array{name, "NSObject"}}};
}

}  // namespace

TEST(KeyedArchive, ObjectsAndValuesRoundTripWithSharingKept) {
    auto first = record("第一");
    first->plays = 3;
    first->favourite = true;
    first->volume = 0.5;
    first->extra = Value::Dictionary{{"键", Value::Array{1, 2.5, "x", Value(), Value::Data{1, 2}}}};
    auto second = record("second", Date{-31622401});
    second->child = first;
    const Value root(Value::Array{first, second, first, "第一", Date{915148800}});

    const std::vector<uint8_t> data = archiveOf(root);
    std::string error;
    auto back = KeyedUnarchiver::unarchiveObjectWithData(data, kClasses, &error);
    ASSERT_TRUE(back && back->isArray()) << error;
    const Value::Array& items = *back->asArray();
    ASSERT_EQ(items.size(), 5u);
    auto a = items[0].asObject<TestRecord>();
    auto b = items[1].asObject<TestRecord>();
    ASSERT_TRUE(a && b);
    EXPECT_EQ(items[2], items[0]) << "one object referenced twice decodes once";
    EXPECT_EQ(b->child, a);
    EXPECT_EQ(std::tie(a->title, a->created, a->plays, a->favourite, a->volume, a->extra),
              std::tie(first->title, first->created, first->plays, first->favourite, first->volume,
                       first->extra));
    EXPECT_EQ(b->created, Value(Date{-31622401}));
    EXPECT_EQ(items[3], Value("第一"));
    EXPECT_EQ(items[4], Value(Date{915148800}));

    // The layout other readers expect: shared class entries, objects and
    // equal strings stored once, scalars inline, '$' keys escaped.
    auto plist = platform::PropertyList::parse(data);
    ASSERT_TRUE(plist);
    const Value::Array& objects = *plist->find("$objects")->asArray();
    EXPECT_EQ(objects[0], Value("$null"));
    EXPECT_EQ(*plist->find("$version"), Value(100000));
    int records = 0, recordClasses = 0, titles = 0;
    for (const Value& o : objects) {
        titles += o == Value("第一");
        if (const Value* name = o.find("$classname")) recordClasses += *name == Value("TestRecord");
        if (o.find("plays")) {
            ++records;
            EXPECT_TRUE(o.find("plays")->isInteger());
            EXPECT_TRUE(o.find("$$favourite"));
        }
    }
    EXPECT_EQ(records, 2);
    EXPECT_EQ(recordClasses, 1);
    EXPECT_EQ(titles, 1);

    // The same archive in XML, where a UID is a {"CF$UID": n} dictionary.
    auto xml = platform::PropertyList::serialize(*plist, platform::PropertyList::Format::Xml);
    ASSERT_TRUE(xml);
    auto fromXml = KeyedUnarchiver::unarchiveObjectWithData(*xml, kClasses, &error);
    ASSERT_TRUE(fromXml && fromXml->isArray()) << error;
    const Value::Array& again = *fromXml->asArray();
    ASSERT_EQ(again.size(), 5u);
    auto x = again[0].asObject<TestRecord>();
    ASSERT_TRUE(x && again[1].asObject<TestRecord>());
    EXPECT_EQ(again[2], again[0]);
    EXPECT_EQ(again[1].asObject<TestRecord>()->child, x);
    EXPECT_EQ(std::tie(x->title, x->created, x->plays, x->favourite, x->volume, x->extra),
              std::tie(first->title, first->created, first->plays, first->favourite, first->volume,
                       first->extra));
    EXPECT_EQ(again[4], Value(Date{915148800}));
}

TEST(KeyedArchiver, AKeyEncodedAgainKeepsOnlyItsLastValue) {
    struct Twice : platform::Coding {
        std::vector<std::string> archiveClassHierarchy() const override { return {"TestRecord"}; }
        void encodeWithCoder(KeyedArchiver& c) const override {
            c.encodeObject("first", "title");
            c.encodeBool(false, "$favourite");
            c.encodeObject("second", "title");
            c.encodeBool(true, "$favourite");
        }
    };
    // The reader takes the first of equal keys: a second entry would show.
    auto back =
        KeyedUnarchiver::unarchiveObjectWithData(archiveOf(std::make_shared<Twice>()), kClasses);
    ASSERT_TRUE(back);
    auto r = back->asObject<TestRecord>();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->title, "second");
    EXPECT_TRUE(r->favourite);
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
    struct Other : platform::Coding {
        std::vector<std::string> archiveClassHierarchy() const override { return {"Other"}; }
        void encodeWithCoder(KeyedArchiver& c) const override { c.encodeObject("x", "title"); }
    };
    auto data = archiveOf(Value::Array{record("kept"), std::make_shared<Other>(), record("")});
    // This factory also refuses an empty title.
    auto back = KeyedUnarchiver::unarchiveObjectWithData(
        data, {{"TestRecord", [](KeyedUnarchiver& c) -> platform::ObjectRef {
                    return c.decodeObjectForKey("title") == Value("") ? nullptr
                                                                      : TestRecord::decode(c);
                }}});
    ASSERT_TRUE(back && back->isArray());
    const Value::Array& items = *back->asArray();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_TRUE(items[0].asObject<TestRecord>());
    EXPECT_TRUE(items[1].isNull());
    EXPECT_TRUE(items[2].isNull());

    auto lone = KeyedUnarchiver::unarchiveObjectWithData(archiveOf(std::make_shared<Other>()), {});
    ASSERT_TRUE(lone) << "an unknown root class is not damage";
    EXPECT_TRUE(lone->isNull());
}

TEST(KeyedUnarchiver, DamagedArchivesFailWithAReason) {
    const Value array = classEntry("NSArray");
    const Value rec = classEntry("TestRecord");
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
        {"member out of range", handMade({"$null", arrayOf({Uid{9}}, 2), array}), "range"},
        {"array holding itself", handMade({"$null", arrayOf({Uid{1}}, 2), array}), "cycle"},
        {"record holding itself",
         handMade({"$null",
                   Value::Dictionary{{"title", Uid{3}}, {"child", Uid{1}}, {"$class", Uid{2}}}, rec,
                   "t"}),
         "cycle"},
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

TEST(KeyedUnarchiver, ReadsAnArchivePythonBuilt) {
    const std::string python = testsupport::systemPython();
    if (python.empty()) GTEST_SKIP() << "no /usr/bin/python3";
    testsupport::TempDir dir;
    // An independent writer: mutable array and string forms, a string shared
    // by a record and the array, plain string and date elements.
    testsupport::writeText(dir.file("write.py"), R"py(
import datetime, plistlib, sys
from plistlib import UID
objects = ["$null"]
def add(x):
    objects.append(x)
    return UID(len(objects) - 1)
def cls(*chain):
    return add({"$classname": chain[0], "$classes": list(chain) + ["NSObject"]})
date_class, record_class = cls("NSDate"), cls("TestRecord")
def date(dt):
    seconds = (dt - datetime.datetime(2001, 1, 1)).total_seconds()
    return add({"NS.time": seconds, "$class": date_class})
def record(title, dt):
    return add({"title": title, "created": date(dt), "plays": 7, "$class": record_class})
shared = add("录音一")
mutable = add({"NS.string": "second", "$class": cls("NSMutableString", "NSString")})
items = [record(shared, datetime.datetime(2023, 5, 6, 7, 8, 9, 250000)),
         record(mutable, datetime.datetime(1999, 12, 31, 23, 59, 59)),
         shared, date(datetime.datetime(2030, 1, 1))]
root = add({"NS.objects": items, "$class": cls("NSMutableArray", "NSArray")})
archive = {"$archiver": "NSKeyedArchiver", "$version": 100000, "$top": {"root": root},
           "$objects": objects}
open(sys.argv[1], "wb").write(plistlib.dumps(archive, fmt=plistlib.FMT_BINARY))
)py");
    const std::string path = dir.file("python.archive");
    ASSERT_EQ(testsupport::run(python + " " + dir.file("write.py") + " " + path), 0);
    std::string error;
    auto back =
        KeyedUnarchiver::unarchiveObjectWithData(*platform::readFile(path), kClasses, &error);
    ASSERT_TRUE(back) << error;
    ASSERT_TRUE(back->isArray());
    const Value::Array& items = *back->asArray();
    ASSERT_EQ(items.size(), 4u);
    auto first = items[0].asObject<TestRecord>();
    auto second = items[1].asObject<TestRecord>();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->title, "录音一");
    EXPECT_EQ(first->created, Value(Date{705049689.25}));
    EXPECT_EQ(first->plays, 7);
    EXPECT_EQ(second->title, "second");
    EXPECT_EQ(second->created, Value(Date{-31622401}));
    EXPECT_EQ(items[2], Value("录音一"));
    EXPECT_EQ(items[3], Value(Date{915148800}));
}

TEST(KeyedArchiver, PythonWalksWhatWeWrote) {
    const std::string python = testsupport::systemPython();
    if (python.empty()) GTEST_SKIP() << "no /usr/bin/python3";
    testsupport::TempDir dir;
    auto first = record("第一");
    first->plays = 3;
    first->favourite = true;
    first->volume = 0.5;
    first->extra = Value::Dictionary{{"键", Value::Array{1, "x", Value()}}};
    const std::string path = dir.file("ours.archive");
    ASSERT_TRUE(platform::writeFileAtomically(
        path, archiveOf(Value::Array{first, "第一", Date{915148800}})));
    testsupport::writeText(dir.file("walk.py"), R"py(
import datetime, plistlib, sys
archive = plistlib.loads(open(sys.argv[1], "rb").read())
assert archive["$archiver"] == "NSKeyedArchiver" and archive["$version"] == 100000
objects = archive["$objects"]
REF = datetime.datetime(2001, 1, 1)
def show(uid):
    if uid.data == 0:
        return "null"
    o = objects[uid.data]
    if not isinstance(o, dict):
        return repr(o)
    cls = objects[o["$class"].data]
    name = cls["$classname"]
    if name == "NSDate":
        return (REF + datetime.timedelta(seconds=o["NS.time"])).isoformat()
    if name == "NSArray":
        return "[" + ", ".join(show(u) for u in o["NS.objects"]) + "]"
    if name == "NSDictionary":
        return "{" + ", ".join(show(k) + ": " + show(v)
                               for k, v in zip(o["NS.keys"], o["NS.objects"])) + "}"
    fields = ", ".join(k + "=" + (show(v) if isinstance(v, plistlib.UID) else repr(v))
                       for k, v in sorted(o.items()) if k != "$class")
    return name + "<" + "/".join(cls["$classes"]) + ">(" + fields + ")"
print(show(archive["$top"]["root"]))
)py");
    std::string out;
    ASSERT_EQ(testsupport::run(python + " " + dir.file("walk.py") + " " + path, &out), 0);
    EXPECT_EQ(out,
              "[TestRecord<TestRecord/NSObject>($$favourite=True, "
              "created=2023-05-06T07:08:09.250000, extra={'键': [1, 'x', null]}, plays=3, "
              "title='第一', volume=0.5), '第一', 2030-01-01T00:00:00]\n");
}
