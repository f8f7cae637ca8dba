#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "foundation/PropertyList.h"
#include "foundation/Value.h"

// The platform's keyed archive: a binary property list
//   {"$archiver": "NSKeyedArchiver", "$version": 100000,
//    "$top": {"root": UID}, "$objects": ["$null", ...]}
// in which every object is an entry of $objects referenced by UID.
namespace platform {

class KeyedArchiver;
class KeyedUnarchiver;

// An archivable object.
class Coding : public Object {
public:
    // Class chain, most derived first, e.g.
    // {"QELCollectionSoundEffect", "QELSoundEffect", "NSObject"}.
    virtual std::vector<std::string> archiveClassHierarchy() const = 0;
    virtual void encodeWithCoder(KeyedArchiver& coder) const = 0;
};

class KeyedArchiver {
public:
    // root: array, dictionary, string, integer, real, bool, date, data or a
    // Coding object, nested freely; null inside arrays and dictionaries is
    // the $null reference. Returns binary property-list bytes; nullopt +
    // error for a null root, a UID, an object that is not Coding, a string a
    // property list cannot hold, an object that (indirectly) encodes itself or
    // nesting deeper than kMaxDepth.
    static std::optional<std::vector<uint8_t>> archivedDataWithRootObject(
        const Value& root, std::string* error = nullptr);

    // For encodeWithCoder. Keys starting with '$' are escaped with one more
    // '$', so they cannot collide with the archive's own keys.
    // Strings, dates, arrays, dictionaries, data, numbers and Coding objects
    // become references; the same object encoded twice is stored once and
    // equal strings are shared.
    void encodeObject(const Value& value, const std::string& key);
    // Stored inline in the object's dictionary.
    void encodeInt64(int64_t value, const std::string& key);
    void encodeBool(bool value, const std::string& key);
    void encodeDouble(double value, const std::string& key);

    static constexpr int kMaxDepth = 256;

private:
    using Container = PropertyList::Builder::Container;
    struct Encoded {
        uint64_t uid;
        bool encoding;  // its encodeWithCoder is running
    };

    KeyedArchiver();
    uint64_t encode(const Value& value);
    uint64_t encodeString(const std::string& string);
    uint64_t encodeObject(const ObjectRef& object);
    uint64_t append(const Value& entry);
    Container* appendDictionary(uint64_t* uid);
    uint64_t classReference(const std::vector<std::string>& hierarchy);
    void setField(const std::string& key, const Value& value);
    bool failed() const { return !error_.empty() || builder_.failed(); }
    void fail(std::string message);

    // The archive is written as it is encoded: the $objects array grows
    // in the property list itself.
    PropertyList::Builder builder_;
    Container* objects_;
    uint64_t objectCount_ = 0;
    std::vector<Container*> fieldStack_;  // objects whose encodeWithCoder runs
    std::unordered_map<std::string, uint64_t> strings_;
    std::unordered_map<std::string, uint64_t> classes_;
    std::unordered_map<const Object*, Encoded> encodedObjects_;
    int depth_ = 0;
    std::string error_;
};

class KeyedUnarchiver {
public:
    // Builds an object of a registered class from the decoder positioned on
    // it; nullptr rejects it.
    using Factory = std::function<ObjectRef(KeyedUnarchiver&)>;
    using ClassTable = std::map<std::string, Factory>;  // by $classname

    // nullopt + error for a damaged archive: not a property list, wrong
    // $archiver/$top/$objects shape, a UID out of range, an entry of the
    // wrong shape, a reference cycle, nesting deeper than kMaxDepth or shared
    // references that expand beyond kMaxCopiedSize.
    // An object of an unknown class, or one its factory rejected, decodes as
    // a null Value, so a root array keeps its other elements (and a root
    // object of an unknown class gives a null Value). References to one
    // object from several places decode to the same ObjectRef.
    // Built in: NS(Mutable)String, NS(Mutable)Data, NSDate, NS(Mutable)Array,
    // NS(Mutable)Dictionary (entries whose key is not a string are left out)
    // and NSNull; `classes` cannot replace them. XML archives read as well.
    static std::optional<Value> unarchiveObjectWithData(const std::vector<uint8_t>& data,
                                                        const ClassTable& classes,
                                                        std::string* error = nullptr);

    // For factories, about the object being decoded.
    bool containsValueForKey(const std::string& key) const;
    // String, Date, Array, Dictionary, Data, Integer/Real/Bool, Object; null
    // when absent, not a reference or an object that decodes as null.
    Value decodeObjectForKey(const std::string& key);
    // Inline values (or references to plain numbers); nullopt when absent or
    // not a number. Integers accept reals without a fraction; bools and
    // numbers convert to each other as 0/1.
    std::optional<int64_t> decodeInt64ForKey(const std::string& key);
    std::optional<bool> decodeBoolForKey(const std::string& key);
    std::optional<double> decodeDoubleForKey(const std::string& key);
    // $classname of the object being decoded, so one factory may serve several.
    const std::string& className() const;

    static constexpr int kMaxDepth = 256;
    // Every reference to a decoded value copies it (objects are shared), so a
    // small archive that refers to one array from many places could grow
    // without bound. The copies are limited, counted in value nodes plus one
    // per 64 bytes of strings and data.
    static constexpr uint64_t kMaxCopiedSize = uint64_t{1} << 18;

private:
    using Node = PropertyList::Document::Node;
    struct Slot {
        bool done = false;  // false while it is being decoded
        Value value;
        uint64_t size = 0;
    };
    struct Frame {
        const Node* fields;
        const std::string* className;
    };

    KeyedUnarchiver(const PropertyList::Document& document, std::vector<const Node*> objects,
                    const ClassTable& classes);
    const Value& decode(uint64_t uid, uint64_t* size);
    Value decodeEntry(const Node* entry, uint64_t* size);
    const std::string* classNameOf(uint64_t uid);
    std::optional<Value> decodePlatformClass(const std::string& className, const Node* fields,
                                             uint64_t* size);
    std::optional<std::vector<uint64_t>> references(const Node* fields, const char* key);
    std::optional<Value> valueOf(const Node* node);
    const Node* field(const std::string& key) const;
    std::optional<Value> numberForKey(const std::string& key);
    bool charge(uint64_t size);
    void fail(std::string message);
    bool failed() const { return !error_.empty(); }

    // The archive stays in the parsed property list; only what is decoded
    // becomes Values.
    const PropertyList::Document& document_;
    const std::vector<const Node*> objects_;
    const ClassTable& classes_;
    std::unordered_map<uint64_t, Slot> slots_;
    std::unordered_map<uint64_t, std::optional<std::string>> classNames_;  // by class entry
    std::vector<Frame> frames_;
    int depth_ = 0;
    uint64_t copiedSize_ = 0;
    std::string error_;
};

}  // namespace platform
