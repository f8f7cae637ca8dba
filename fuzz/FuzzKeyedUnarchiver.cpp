// Reads arbitrary bytes as a keyed archive with two registered classes whose
// factories decode nested objects. Whatever decodes must archive again and
// decode to the same values.
#include <cstdio>
#include <cstdlib>

#include "foundation/KeyedArchive.h"
#include "fuzz/FuzzSupport.h"

using platform::KeyedArchiver;
using platform::KeyedUnarchiver;
using platform::Value;

namespace {

// Keeps every field it was decoded from, so it can be archived again.
class Record : public platform::Coding {
public:
    std::string className;
    Value::Dictionary objects;
    std::optional<int64_t> count;
    std::optional<bool> flag;
    std::optional<double> ratio;

    std::vector<std::string> archiveClassHierarchy() const override {
        return {className, "NSObject"};
    }
    void encodeWithCoder(KeyedArchiver& coder) const override {
        for (const auto& [key, value] : objects) coder.encodeObject(value, key);
        if (count) coder.encodeInt64(*count, "count");
        if (flag) coder.encodeBool(*flag, "flag");
        if (ratio) coder.encodeDouble(*ratio, "ratio");
    }
};

platform::ObjectRef decodeRecord(KeyedUnarchiver& coder) {
    auto record = std::make_shared<Record>();
    record->className = coder.className();
    for (const char* key : {"name", "time", "child", "items", "$class", "data"}) {
        if (!coder.containsValueForKey(key)) continue;
        Value v = coder.decodeObjectForKey(key);
        if (!v.isNull()) record->objects.emplace(key, std::move(v));
    }
    record->count = coder.decodeInt64ForKey("count");
    record->flag = coder.decodeBoolForKey("flag");
    record->ratio = coder.decodeDoubleForKey("ratio");
    // The second class insists on a name, as real records reject incomplete fields.
    if (record->className == "Strict" && !record->objects.count("name")) return nullptr;
    return record;
}

const KeyedUnarchiver::ClassTable& classes() {
    static const KeyedUnarchiver::ClassTable table{{"Record", decodeRecord},
                                                   {"Strict", decodeRecord}};
    return table;
}

bool sameRecord(const platform::ObjectRef& a, const platform::ObjectRef& b);

const fuzzsupport::Equality kEquality{false, sameRecord};

bool sameOptional(const std::optional<double>& a, const std::optional<double>& b) {
    if (a.has_value() != b.has_value()) return false;
    return !a || fuzzsupport::same(Value(*a), Value(*b), kEquality);
}

bool sameRecord(const platform::ObjectRef& a, const platform::ObjectRef& b) {
    auto x = std::dynamic_pointer_cast<const Record>(a);
    auto y = std::dynamic_pointer_cast<const Record>(b);
    if (!x || !y) return false;
    return x->className == y->className && x->count == y->count && x->flag == y->flag &&
           sameOptional(x->ratio, y->ratio) &&
           fuzzsupport::same(Value(x->objects), Value(y->objects), kEquality);
}

[[noreturn]] void failure(const char* what, const std::string& detail) {
    std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    std::string error;
    const std::optional<Value> value =
        KeyedUnarchiver::unarchiveObjectWithData(bytes, classes(), &error);
    if (!value) {
        if (error.empty()) failure("unarchiving failed without saying why", "");
        return 0;
    }
    if (value->isNull()) return 0;
    const auto archived = KeyedArchiver::archivedDataWithRootObject(*value, &error);
    if (!archived) {
        // Strings with NUL and far dates read fine but no property list can hold them.
        if (error.find("property list") == std::string::npos)
            failure("cannot archive again", error);
        return 0;
    }
    const auto back = KeyedUnarchiver::unarchiveObjectWithData(*archived, classes(), &error);
    if (!back) failure("cannot read our own archive", error);
    if (!fuzzsupport::same(*value, *back, kEquality)) {
        failure("archive round trip changed the value",
                value->description() + " -> " + back->description());
    }
    return 0;
}
