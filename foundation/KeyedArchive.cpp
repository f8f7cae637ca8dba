#include "foundation/KeyedArchive.h"

#include "foundation/DebugLog.h"
#include "foundation/PropertyList.h"

namespace platform {

namespace {

constexpr char kArchiverName[] = "NSKeyedArchiver";
constexpr int64_t kArchiveVersion = 100000;
constexpr char kNull[] = "$null";

// Keys the archive uses for itself start with '$'; an object's own keys that
// do are stored with one more '$'.
std::string escapedKey(const std::string& key) {
    return !key.empty() && key[0] == '$' ? "$" + key : key;
}

Value reference(uint64_t uid) {
    return Value(Uid{uid});
}

bool isOneOf(const std::string& name, const char* a, const char* b) {
    return name == a || name == b;
}

// The UIDs of a collection's NS.keys or NS.objects; nullopt when malformed.
std::optional<std::vector<uint64_t>> references(const Value::Dictionary& fields, const char* key) {
    auto it = fields.find(key);
    const Value::Array* items = it == fields.end() ? nullptr : it->second.asArray();
    if (!items) return std::nullopt;
    std::vector<uint64_t> uids;
    uids.reserve(items->size());
    for (const Value& item : *items) {
        if (!item.isUid()) return std::nullopt;
        uids.push_back(item.asUid()->value);
    }
    return uids;
}

}  // namespace

// ---------------------------------------------------------------------------
// KeyedArchiver

KeyedArchiver::KeyedArchiver() {
    objects_.emplace_back(kNull);
}

std::optional<std::vector<uint8_t>> KeyedArchiver::archivedDataWithRootObject(const Value& root,
                                                                              std::string* error) {
    if (root.isNull()) {
        if (error) *error = "keyed archive: the root object is null";
        return std::nullopt;
    }
    KeyedArchiver archiver;
    const uint64_t top = archiver.encode(root);
    if (!archiver.error_.empty()) {
        if (error) *error = "keyed archive: " + archiver.error_;
        return std::nullopt;
    }
    Value::Dictionary plist{
        {"$archiver", kArchiverName},
        {"$version", kArchiveVersion},
        {"$top", Value::Dictionary{{"root", reference(top)}}},
        {"$objects", std::move(archiver.objects_)},
    };
    std::string why;
    auto bytes =
        PropertyList::serialize(Value(std::move(plist)), PropertyList::Format::Binary, &why);
    if (!bytes && error) *error = "keyed archive: " + why;
    return bytes;
}

void KeyedArchiver::fail(std::string message) {
    if (error_.empty()) error_ = std::move(message);
}

uint64_t KeyedArchiver::append(Value entry) {
    objects_.push_back(std::move(entry));
    return objects_.size() - 1;
}

uint64_t KeyedArchiver::classReference(const std::vector<std::string>& hierarchy) {
    auto [it, inserted] = classes_.try_emplace(hierarchy.front(), 0);
    if (inserted) {
        Value::Array chain(hierarchy.begin(), hierarchy.end());
        it->second = append(
            Value::Dictionary{{"$classname", hierarchy.front()}, {"$classes", std::move(chain)}});
    }
    return it->second;
}

uint64_t KeyedArchiver::encode(const Value& value) {
    if (!error_.empty()) return 0;
    if (depth_ >= kMaxDepth) {
        fail("objects nested too deeply");
        return 0;
    }
    // Containers reserve their entry first, so an object precedes what it
    // holds, as other archivers lay them out.
    struct Nesting {
        int& depth;
        explicit Nesting(int& d) : depth(++d) {}
        ~Nesting() { --depth; }
    } nesting(depth_);

    switch (value.type()) {
        case Value::Type::Null:
            return 0;
        case Value::Type::String: {
            auto [it, inserted] = strings_.try_emplace(*value.asString(), 0);
            if (inserted) it->second = append(value);
            return it->second;
        }
        case Value::Type::Integer:
        case Value::Type::Real:
        case Value::Type::Bool:
        case Value::Type::Data:
            return append(value);
        case Value::Type::Date: {
            const uint64_t self = append(Value());
            objects_[self] =
                Value::Dictionary{{"NS.time", value.asDate()->secondsSinceReferenceDate},
                                  {"$class", reference(classReference({"NSDate", "NSObject"}))}};
            return self;
        }
        case Value::Type::Array: {
            const uint64_t self = append(Value());
            Value::Array refs;
            refs.reserve(value.asArray()->size());
            for (const Value& item : *value.asArray()) refs.push_back(reference(encode(item)));
            objects_[self] =
                Value::Dictionary{{"NS.objects", std::move(refs)},
                                  {"$class", reference(classReference({"NSArray", "NSObject"}))}};
            return self;
        }
        case Value::Type::Dictionary: {
            const uint64_t self = append(Value());
            Value::Array keys, values;
            for (const auto& [key, item] : *value.asDictionary()) {
                keys.push_back(reference(encode(Value(key))));
                values.push_back(reference(encode(item)));
            }
            objects_[self] = Value::Dictionary{
                {"NS.keys", std::move(keys)},
                {"NS.objects", std::move(values)},
                {"$class", reference(classReference({"NSDictionary", "NSObject"}))}};
            return self;
        }
        case Value::Type::Uid:
            fail("a UID cannot be archived");
            return 0;
        case Value::Type::Object:
            break;
    }

    const ObjectRef& object = *value.asObjectRef();
    if (!object) return 0;
    if (auto it = encodedObjects_.find(object.get()); it != encodedObjects_.end()) {
        if (encoding_.count(object.get())) fail("an object refers back to itself");
        return it->second;
    }
    const Coding* coding = dynamic_cast<const Coding*>(object.get());
    if (!coding) {
        fail("an object that is not Coding cannot be archived");
        return 0;
    }
    std::vector<std::string> hierarchy = coding->archiveClassHierarchy();
    if (hierarchy.empty() || hierarchy.front().empty()) {
        fail("an archived object needs a class name");
        return 0;
    }
    const uint64_t self = append(Value());
    encodedObjects_.emplace(object.get(), self);
    encoding_.insert(object.get());
    fieldStack_.emplace_back();
    coding->encodeWithCoder(*this);
    Value::Dictionary fields = std::move(fieldStack_.back());
    fieldStack_.pop_back();
    encoding_.erase(object.get());
    fields["$class"] = reference(classReference(hierarchy));
    objects_[self] = std::move(fields);
    return self;
}

void KeyedArchiver::setField(const std::string& key, Value value) {
    if (fieldStack_.empty()) {
        fail("encoding outside encodeWithCoder");
        return;
    }
    fieldStack_.back()[escapedKey(key)] = std::move(value);
}

void KeyedArchiver::encodeObject(const Value& value, const std::string& key) {
    const uint64_t uid = encode(value);
    setField(key, reference(uid));
}

void KeyedArchiver::encodeInt64(int64_t value, const std::string& key) {
    setField(key, value);
}

void KeyedArchiver::encodeBool(bool value, const std::string& key) {
    setField(key, value);
}

void KeyedArchiver::encodeDouble(double value, const std::string& key) {
    setField(key, value);
}

// ---------------------------------------------------------------------------
// KeyedUnarchiver

KeyedUnarchiver::KeyedUnarchiver(const Value::Array& objects, const ClassTable& classes)
    : objects_(objects), classes_(classes) {}

std::optional<Value> KeyedUnarchiver::unarchiveObjectWithData(const std::vector<uint8_t>& data,
                                                              const ClassTable& classes,
                                                              std::string* error) {
    auto damaged = [&](const std::string& why) -> std::optional<Value> {
        if (error) *error = "keyed archive: " + why;
        return std::nullopt;
    };
    std::string why;
    const std::optional<Value> plist = PropertyList::parse(data, &why);
    if (!plist) return damaged(why);
    const Value* archiver = plist->find("$archiver");
    if (!archiver || !archiver->asString() || *archiver->asString() != kArchiverName) {
        return damaged("not an NSKeyedArchiver archive");
    }
    const Value* top = plist->find("$top");
    const Value* root = top ? top->find("root") : nullptr;
    if (!root || !root->isUid()) return damaged("no root reference in $top");
    const Value* objects = plist->find("$objects");
    if (!objects || !objects->isArray()) return damaged("no $objects array");

    KeyedUnarchiver unarchiver(*objects->asArray(), classes);
    uint64_t size = 0;
    Value value = unarchiver.decode(root->asUid()->value, &size);
    if (unarchiver.failed()) return damaged(unarchiver.error_);
    return value;
}

void KeyedUnarchiver::fail(std::string message) {
    if (error_.empty()) error_ = std::move(message);
}

bool KeyedUnarchiver::charge(uint64_t size) {
    copiedSize_ += size;
    if (copiedSize_ > kMaxCopiedSize) {
        fail("shared references expand too far");
        return false;
    }
    return true;
}

// The decoded value stays in its slot; callers copy it where it goes, and
// every copy counts against kMaxCopiedSize.
const Value& KeyedUnarchiver::decode(uint64_t uid, uint64_t* size) {
    static const Value null;
    *size = 1;
    if (failed() || uid == 0) return null;
    if (uid >= objects_.size()) {
        fail("reference " + std::to_string(uid) + " out of range");
        return null;
    }
    if (auto it = slots_.find(uid); it != slots_.end()) {
        if (!it->second.done) {
            fail("reference cycle through object " + std::to_string(uid));
            return null;
        }
        *size = it->second.size;
        return charge(*size) ? it->second.value : null;
    }
    if (depth_ >= kMaxDepth) {
        fail("objects nested too deeply");
        return null;
    }
    Slot& slot = slots_[uid];  // stays put: the map's nodes never move
    ++depth_;
    Value value = decodeEntry(objects_[uid], size);
    --depth_;
    if (failed() || !charge(*size)) return null;
    slot.done = true;
    slot.value = std::move(value);
    slot.size = *size;
    return slot.value;
}

Value KeyedUnarchiver::decodeEntry(const Value& entry, uint64_t* size) {
    switch (entry.type()) {
        case Value::Type::String:
            *size = 1 + entry.asString()->size() / 64;
            return entry;
        case Value::Type::Data:
            *size = 1 + entry.asData()->size() / 64;
            return entry;
        case Value::Type::Integer:
        case Value::Type::Real:
        case Value::Type::Bool:
        case Value::Type::Date:
            return entry;
        case Value::Type::Dictionary:
            break;
        default:
            fail(std::string("an archived object cannot be a plain ") + typeName(entry.type()));
            return Value();
    }

    const Value::Dictionary& fields = *entry.asDictionary();
    const Value* classRef = entry.find("$class");
    if (!classRef || !classRef->isUid()) {
        fail("an archived object has no $class");
        return Value();
    }
    const uint64_t classUid = classRef->asUid()->value;
    const Value* classEntry = classUid < objects_.size() ? &objects_[classUid] : nullptr;
    const Value* className = classEntry ? classEntry->find("$classname") : nullptr;
    if (!className || !className->isString()) {
        fail("an archived object's $class is not a class description");
        return Value();
    }
    const std::string& name = *className->asString();

    if (std::optional<Value> v = decodePlatformClass(name, fields, size)) return *v;

    auto factory = classes_.find(name);
    if (factory == classes_.end()) {
        QEL_DEBUG_ERROR("keyed archive: no class " + name + "; decoded as null");
        return Value();
    }
    frames_.push_back(Frame{&fields, &name});
    struct Pop {
        std::vector<Frame>& frames;
        ~Pop() { frames.pop_back(); }
    } pop{frames_};
    ObjectRef object = factory->second(*this);
    if (!object && !failed()) QEL_DEBUG_ERROR("keyed archive: " + name + " rejected its fields");
    return object ? Value(std::move(object)) : Value();
}

// The platform's own classes; nullopt for any other class.
std::optional<Value> KeyedUnarchiver::decodePlatformClass(const std::string& name,
                                                          const Value::Dictionary& fields,
                                                          uint64_t* size) {
    auto member = [&](const char* key) -> const Value* {
        auto it = fields.find(key);
        return it == fields.end() ? nullptr : &it->second;
    };
    auto malformed = [&]() {
        fail("a malformed " + name);
        return Value();
    };
    if (name == "NSNull") return Value();
    if (isOneOf(name, "NSString", "NSMutableString")) {
        const Value* s = member("NS.string");
        if (!s || !s->isString()) return malformed();
        *size = 1 + s->asString()->size() / 64;
        return *s;
    }
    if (isOneOf(name, "NSData", "NSMutableData")) {
        const Value* d = member("NS.data");
        if (!d || !d->isData()) return malformed();
        *size = 1 + d->asData()->size() / 64;
        return *d;
    }
    if (name == "NSDate") {
        const Value* t = member("NS.time");
        if (!t || !t->isNumber()) return malformed();
        return Value(Date{*t->asReal()});
    }
    if (isOneOf(name, "NSArray", "NSMutableArray")) {
        auto uids = references(fields, "NS.objects");
        if (!uids) return malformed();
        Value::Array array;
        array.reserve(uids->size());
        for (uint64_t uid : *uids) {
            uint64_t itemSize = 0;
            array.push_back(decode(uid, &itemSize));
            *size += itemSize;
            if (failed()) return Value();
        }
        return Value(std::move(array));
    }
    if (isOneOf(name, "NSDictionary", "NSMutableDictionary")) {
        auto keys = references(fields, "NS.keys");
        auto values = keys ? references(fields, "NS.objects") : std::nullopt;
        if (!values) return malformed();
        if (keys->size() != values->size()) return malformed();
        Value::Dictionary dict;
        for (size_t i = 0; i < keys->size(); ++i) {
            uint64_t keySize = 0, valueSize = 0;
            Value key = decode((*keys)[i], &keySize);
            Value item = decode((*values)[i], &valueSize);
            if (failed()) return Value();
            // Value dictionaries are keyed by strings; other keys are left out.
            if (!key.isString()) continue;
            *size += keySize + valueSize;
            dict.insert_or_assign(*key.asString(), std::move(item));
        }
        return Value(std::move(dict));
    }
    return std::nullopt;
}

const Value* KeyedUnarchiver::field(const std::string& key) const {
    if (frames_.empty()) return nullptr;
    const Value::Dictionary& fields = *frames_.back().fields;
    auto it = fields.find(escapedKey(key));
    return it == fields.end() ? nullptr : &it->second;
}

const std::string& KeyedUnarchiver::className() const {
    static const std::string none;
    return frames_.empty() ? none : *frames_.back().className;
}

bool KeyedUnarchiver::containsValueForKey(const std::string& key) const {
    return field(key) != nullptr;
}

Value KeyedUnarchiver::decodeObjectForKey(const std::string& key) {
    const Value* v = field(key);
    if (!v || !v->isUid()) return Value();
    uint64_t size = 0;
    return decode(v->asUid()->value, &size);
}

// A number or bool stored inline, or referenced as a plain entry.
std::optional<Value> KeyedUnarchiver::numberForKey(const std::string& key) const {
    const Value* v = field(key);
    if (v && v->isUid()) {
        const uint64_t uid = v->asUid()->value;
        v = uid > 0 && uid < objects_.size() ? &objects_[uid] : nullptr;
    }
    if (!v || !(v->isNumber() || v->isBool())) return std::nullopt;
    return *v;
}

std::optional<int64_t> KeyedUnarchiver::decodeInt64ForKey(const std::string& key) {
    auto v = numberForKey(key);
    if (!v) return std::nullopt;
    if (auto b = v->asBool()) return *b ? 1 : 0;
    return v->asInteger();
}

std::optional<bool> KeyedUnarchiver::decodeBoolForKey(const std::string& key) {
    auto v = numberForKey(key);
    if (!v) return std::nullopt;
    if (auto b = v->asBool()) return *b;
    return *v->asReal() != 0;
}

std::optional<double> KeyedUnarchiver::decodeDoubleForKey(const std::string& key) {
    auto v = numberForKey(key);
    if (!v) return std::nullopt;
    if (auto b = v->asBool()) return *b ? 1.0 : 0.0;
    return v->asReal();
}

}  // namespace platform
