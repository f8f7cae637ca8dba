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

const std::string kClassKey = "$class";
const std::string kObjectsKey = "NS.objects";
const std::vector<std::string> kDateClass{"NSDate", "NSObject"};
const std::vector<std::string> kArrayClass{"NSArray", "NSObject"};
const std::vector<std::string> kDictionaryClass{"NSDictionary", "NSObject"};

}  // namespace

// ---------------------------------------------------------------------------
// KeyedArchiver

KeyedArchiver::KeyedArchiver()
    : builder_(PropertyList::Format::Binary),
      objects_((builder_.add(builder_.top(), "$archiver", kArchiverName),
                builder_.addArray(builder_.top(), "$objects"))) {
    append(kNull);
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
    PropertyList::Builder& builder = archiver.builder_;
    builder.add(builder.addDictionary(builder.top(), "$top"), "root", reference(top));
    builder.add(builder.top(), "$version", kArchiveVersion);
    std::string why;
    auto bytes = builder.result(&why);
    if (!bytes && error) *error = "keyed archive: " + why;
    return bytes;
}

void KeyedArchiver::fail(std::string message) {
    if (error_.empty()) error_ = std::move(message);
}

uint64_t KeyedArchiver::append(const Value& entry) {
    builder_.append(objects_, entry);
    return objectCount_++;
}

// Containers take their entry before encoding what they hold, so an object
// precedes its members, as other archivers lay them out.
KeyedArchiver::Container* KeyedArchiver::appendDictionary(uint64_t* uid) {
    *uid = objectCount_++;
    return builder_.appendDictionary(objects_);
}

uint64_t KeyedArchiver::classReference(const std::vector<std::string>& hierarchy) {
    auto [it, inserted] = classes_.try_emplace(hierarchy.front(), 0);
    if (inserted) {
        uint64_t uid;
        Container* entry = appendDictionary(&uid);
        builder_.add(entry, "$classname", hierarchy.front());
        builder_.add(entry, "$classes", Value::Array(hierarchy.begin(), hierarchy.end()));
        it->second = uid;
    }
    return it->second;
}

uint64_t KeyedArchiver::encodeString(const std::string& string) {
    auto [it, inserted] = strings_.try_emplace(string, 0);
    if (inserted) it->second = append(string);
    return it->second;
}

uint64_t KeyedArchiver::encode(const Value& value) {
    if (failed()) return 0;
    if (depth_ >= kMaxDepth) {
        fail("objects nested too deeply");
        return 0;
    }
    struct Nesting {
        int& depth;
        explicit Nesting(int& d) : depth(++d) {}
        ~Nesting() { --depth; }
    } nesting(depth_);

    uint64_t self = 0;
    switch (value.type()) {
        case Value::Type::Null:
            return 0;
        case Value::Type::String:
            return encodeString(*value.asString());
        case Value::Type::Integer:
        case Value::Type::Real:
        case Value::Type::Bool:
        case Value::Type::Data:
            return append(value);
        case Value::Type::Date: {
            Container* entry = appendDictionary(&self);
            builder_.add(entry, "NS.time", value.asDate()->secondsSinceReferenceDate);
            builder_.add(entry, kClassKey, reference(classReference(kDateClass)));
            return self;
        }
        case Value::Type::Array: {
            Container* entry = appendDictionary(&self);
            Container* refs = builder_.addArray(entry, kObjectsKey);
            for (const Value& item : *value.asArray()) {
                builder_.append(refs, reference(encode(item)));
            }
            builder_.add(entry, kClassKey, reference(classReference(kArrayClass)));
            return self;
        }
        case Value::Type::Dictionary: {
            Container* entry = appendDictionary(&self);
            Container* keys = builder_.addArray(entry, "NS.keys");
            Container* values = builder_.addArray(entry, kObjectsKey);
            for (const auto& [key, item] : *value.asDictionary()) {
                builder_.append(keys, reference(encodeString(key)));
                builder_.append(values, reference(encode(item)));
            }
            builder_.add(entry, kClassKey, reference(classReference(kDictionaryClass)));
            return self;
        }
        case Value::Type::Uid:
            fail("a UID cannot be archived");
            return 0;
        case Value::Type::Object:
            return encodeObject(*value.asObjectRef());
    }
    return 0;
}

uint64_t KeyedArchiver::encodeObject(const ObjectRef& object) {
    if (!object) return 0;
    if (auto it = encodedObjects_.find(object.get()); it != encodedObjects_.end()) {
        if (it->second.encoding) fail("an object refers back to itself");
        return it->second.uid;
    }
    const Coding* coding = dynamic_cast<const Coding*>(object.get());
    if (!coding) {
        fail("an object that is not Coding cannot be archived");
        return 0;
    }
    const std::vector<std::string> hierarchy = coding->archiveClassHierarchy();
    if (hierarchy.empty() || hierarchy.front().empty()) {
        fail("an archived object needs a class name");
        return 0;
    }
    uint64_t self;
    Container* fields = appendDictionary(&self);
    // A reference, unlike an iterator, survives the map growing meanwhile.
    Encoded& encoded = encodedObjects_.emplace(object.get(), Encoded{self, true}).first->second;
    fieldStack_.push_back(fields);
    coding->encodeWithCoder(*this);
    fieldStack_.pop_back();
    encoded.encoding = false;
    builder_.add(fields, kClassKey, reference(classReference(hierarchy)));
    return self;
}

void KeyedArchiver::setField(const std::string& key, const Value& value) {
    if (fieldStack_.empty()) {
        fail("encoding outside encodeWithCoder");
        return;
    }
    if (key.empty() || key[0] != '$') {
        builder_.add(fieldStack_.back(), key, value);
    } else {
        builder_.add(fieldStack_.back(), escapedKey(key), value);
    }
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

KeyedUnarchiver::KeyedUnarchiver(const PropertyList::Document& document,
                                 std::vector<const Node*> objects, const ClassTable& classes)
    : document_(document), objects_(std::move(objects)), classes_(classes) {}

std::optional<Value> KeyedUnarchiver::unarchiveObjectWithData(const std::vector<uint8_t>& data,
                                                              const ClassTable& classes,
                                                              std::string* error) {
    auto damaged = [&](const std::string& why) -> std::optional<Value> {
        if (error) *error = "keyed archive: " + why;
        return std::nullopt;
    };
    std::string why;
    const std::optional<PropertyList::Document> plist = PropertyList::Document::parse(data, &why);
    if (!plist) return damaged(why);
    const Node* top = plist->root();
    const Node* archiver = plist->member(top, "$archiver");
    const std::optional<Value> name = archiver && plist->type(archiver) == Value::Type::String
                                          ? plist->value(archiver)
                                          : std::nullopt;
    if (!name || *name->asString() != kArchiverName) {
        return damaged("not an NSKeyedArchiver archive");
    }
    const Node* topObjects = plist->member(top, "$top");
    const Node* root = topObjects ? plist->member(topObjects, "root") : nullptr;
    const std::optional<uint64_t> rootUid = root ? plist->uid(root) : std::nullopt;
    if (!rootUid) return damaged("no root reference in $top");
    const Node* objects = plist->member(top, "$objects");
    if (!objects || plist->type(objects) != Value::Type::Array) {
        return damaged("no $objects array");
    }

    KeyedUnarchiver unarchiver(*plist, plist->elements(objects), classes);
    uint64_t size = 0;
    Value value = unarchiver.decode(*rootUid, &size);
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

std::optional<Value> KeyedUnarchiver::valueOf(const Node* node) {
    std::string why;
    std::optional<Value> value = document_.value(node, &why);
    if (!value) fail(why);
    return value;
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

Value KeyedUnarchiver::decodeEntry(const Node* entry, uint64_t* size) {
    const Value::Type type = document_.type(entry);
    switch (type) {
        case Value::Type::String:
        case Value::Type::Data:
        case Value::Type::Integer:
        case Value::Type::Real:
        case Value::Type::Bool:
        case Value::Type::Date: {
            std::optional<Value> value = valueOf(entry);
            if (!value) return Value();
            if (const std::string* s = value->asString()) *size = 1 + s->size() / 64;
            if (const Value::Data* d = value->asData()) *size = 1 + d->size() / 64;
            return std::move(*value);
        }
        case Value::Type::Dictionary:
            break;
        default:
            fail(std::string("an archived object cannot be a plain ") + typeName(type));
            return Value();
    }

    const Node* classRef = document_.member(entry, "$class");
    const std::optional<uint64_t> classUid = classRef ? document_.uid(classRef) : std::nullopt;
    if (!classUid) {
        fail("an archived object has no $class");
        return Value();
    }
    const std::string* className = classNameOf(*classUid);
    if (!className) {
        fail("an archived object's $class is not a class description");
        return Value();
    }
    const std::string& name = *className;

    if (std::optional<Value> v = decodePlatformClass(name, entry, size)) return *v;

    auto factory = classes_.find(name);
    if (factory == classes_.end()) {
        QEL_DEBUG_ERROR("keyed archive: no class " + name + "; decoded as null");
        return Value();
    }
    frames_.push_back(Frame{entry, &name});
    struct Pop {
        std::vector<Frame>& frames;
        ~Pop() { frames.pop_back(); }
    } pop{frames_};
    ObjectRef object = factory->second(*this);
    if (!object && !failed()) QEL_DEBUG_ERROR("keyed archive: " + name + " rejected its fields");
    return object ? Value(std::move(object)) : Value();
}

// Many objects share a class entry: its name is read once.
const std::string* KeyedUnarchiver::classNameOf(uint64_t uid) {
    auto [it, inserted] = classNames_.try_emplace(uid);
    if (inserted) {
        const Node* entry = uid < objects_.size() ? objects_[uid] : nullptr;
        const Node* name = entry ? document_.member(entry, "$classname") : nullptr;
        if (name && document_.type(name) == Value::Type::String) {
            if (std::optional<Value> v = valueOf(name)) it->second = std::move(*v->asString());
        }
    }
    return it->second ? &*it->second : nullptr;
}

// The UIDs of a collection's NS.keys or NS.objects; nullopt when malformed.
std::optional<std::vector<uint64_t>> KeyedUnarchiver::references(const Node* fields,
                                                                 const char* key) {
    const Node* items = document_.member(fields, key);
    if (!items || document_.type(items) != Value::Type::Array) return std::nullopt;
    const std::vector<const Node*> elements = document_.elements(items);
    std::vector<uint64_t> uids;
    uids.reserve(elements.size());
    for (const Node* item : elements) {
        const std::optional<uint64_t> uid = document_.uid(item);
        if (!uid) return std::nullopt;
        uids.push_back(*uid);
    }
    return uids;
}

// The platform's own classes; nullopt for any other class.
std::optional<Value> KeyedUnarchiver::decodePlatformClass(const std::string& name,
                                                          const Node* fields, uint64_t* size) {
    // The member `key` when it has one of the types, converted.
    auto member = [&](const char* key, Value::Type type,
                      Value::Type other = Value::Type::Null) -> std::optional<Value> {
        const Node* node = document_.member(fields, key);
        const Value::Type actual = node ? document_.type(node) : Value::Type::Null;
        if (!node || (actual != type && actual != other)) return std::nullopt;
        return valueOf(node);
    };
    auto malformed = [&]() {
        fail("a malformed " + name);
        return Value();
    };
    if (name == "NSNull") return Value();
    if (isOneOf(name, "NSString", "NSMutableString")) {
        std::optional<Value> s = member("NS.string", Value::Type::String);
        if (!s) return malformed();
        *size = 1 + s->asString()->size() / 64;
        return s;
    }
    if (isOneOf(name, "NSData", "NSMutableData")) {
        std::optional<Value> d = member("NS.data", Value::Type::Data);
        if (!d) return malformed();
        *size = 1 + d->asData()->size() / 64;
        return d;
    }
    if (name == "NSDate") {
        std::optional<Value> t = member("NS.time", Value::Type::Real, Value::Type::Integer);
        if (!t) return malformed();
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

const KeyedUnarchiver::Node* KeyedUnarchiver::field(const std::string& key) const {
    if (frames_.empty()) return nullptr;
    const Node* fields = frames_.back().fields;
    // No stored key holds a NUL, where the lookup would cut this one short.
    if (key.find('\0') != std::string::npos) return nullptr;
    if (key.empty() || key[0] != '$') return document_.member(fields, key.c_str());
    return document_.member(fields, escapedKey(key).c_str());
}

const std::string& KeyedUnarchiver::className() const {
    static const std::string none;
    return frames_.empty() ? none : *frames_.back().className;
}

bool KeyedUnarchiver::containsValueForKey(const std::string& key) const {
    return field(key) != nullptr;
}

Value KeyedUnarchiver::decodeObjectForKey(const std::string& key) {
    const Node* v = field(key);
    const std::optional<uint64_t> uid = v ? document_.uid(v) : std::nullopt;
    if (!uid) return Value();
    uint64_t size = 0;
    return decode(*uid, &size);
}

// A number or bool stored inline, or referenced as a plain entry.
std::optional<Value> KeyedUnarchiver::numberForKey(const std::string& key) {
    const Node* v = field(key);
    if (v && document_.type(v) == Value::Type::Uid) {
        const std::optional<uint64_t> uid = document_.uid(v);
        v = uid && *uid > 0 && *uid < objects_.size() ? objects_[*uid] : nullptr;
    }
    if (!v) return std::nullopt;
    const Value::Type type = document_.type(v);
    if (type != Value::Type::Integer && type != Value::Type::Real && type != Value::Type::Bool) {
        return std::nullopt;
    }
    return valueOf(v);
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
