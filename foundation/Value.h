#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace platform {

// Base of every shared, reference-counted object that travels inside a Value
// (records in notification user info, decoded archive objects).
class Object {
public:
    virtual ~Object() = default;
};

using ObjectRef = std::shared_ptr<const Object>;

// A date as the platform keeps it: seconds since 2001-01-01 00:00:00 UTC.
struct Date {
    double secondsSinceReferenceDate = 0;

    static constexpr double kReferenceDateUnixSeconds = 978307200.0;
    static Date fromUnixSeconds(double unixSeconds) {
        return Date{unixSeconds - kReferenceDateUnixSeconds};
    }
    double unixSeconds() const { return secondsSinceReferenceDate + kReferenceDateUnixSeconds; }
    friend bool operator==(const Date&, const Date&) = default;
};

// A property-list UID: the reference type of keyed archives.
struct Uid {
    uint64_t value = 0;
    friend bool operator==(const Uid&, const Uid&) = default;
};

// The object model shared by property lists, user defaults, notification
// user info and keyed archives. Value semantics; objects are shared.
class Value {
public:
    enum class Type { Null, Bool, Integer, Real, String, Date, Data, Uid, Array, Dictionary, Object };

    using Array = std::vector<Value>;
    using Dictionary = std::map<std::string, Value>;
    using Data = std::vector<uint8_t>;

    Value() = default;
    Value(std::nullptr_t) {}
    Value(bool b) : v_(b) {}
    Value(int i) : v_(int64_t{i}) {}
    Value(long i) : v_(int64_t{i}) {}
    Value(long long i) : v_(int64_t{i}) {}
    Value(unsigned i) : v_(int64_t{i}) {}
    Value(unsigned long i) : v_(static_cast<int64_t>(i)) {}
    Value(unsigned long long i) : v_(static_cast<int64_t>(i)) {}
    Value(double d) : v_(d) {}
    Value(const char* s) : v_(std::string(s)) {}
    Value(std::string s) : v_(std::move(s)) {}
    Value(platform::Date d) : v_(d) {}
    Value(Data d) : v_(std::move(d)) {}
    Value(platform::Uid u) : v_(u) {}
    Value(Array a) : v_(std::move(a)) {}
    Value(Dictionary d) : v_(std::move(d)) {}
    Value(ObjectRef o) : v_(std::move(o)) {}
    template <class T>
    Value(std::shared_ptr<const T> o) : v_(ObjectRef(std::move(o))) {}
    template <class T>
    Value(std::shared_ptr<T> o) : v_(ObjectRef(std::move(o))) {}

    Type type() const { return static_cast<Type>(v_.index()); }
    bool isNull() const { return type() == Type::Null; }
    bool isBool() const { return type() == Type::Bool; }
    bool isInteger() const { return type() == Type::Integer; }
    bool isReal() const { return type() == Type::Real; }
    bool isNumber() const { return isInteger() || isReal(); }
    bool isString() const { return type() == Type::String; }
    bool isDate() const { return type() == Type::Date; }
    bool isData() const { return type() == Type::Data; }
    bool isUid() const { return type() == Type::Uid; }
    bool isArray() const { return type() == Type::Array; }
    bool isDictionary() const { return type() == Type::Dictionary; }
    bool isObject() const { return type() == Type::Object; }

    // Typed access: nullopt / nullptr when the value holds another type.
    std::optional<bool> asBool() const;
    std::optional<int64_t> asInteger() const;  // integers, and reals without a fraction
    std::optional<double> asReal() const;      // reals and integers
    const std::string* asString() const { return std::get_if<std::string>(&v_); }
    std::optional<platform::Date> asDate() const;
    const Data* asData() const { return std::get_if<Data>(&v_); }
    std::optional<platform::Uid> asUid() const;
    const Array* asArray() const { return std::get_if<Array>(&v_); }
    Array* asArray() { return std::get_if<Array>(&v_); }
    const Dictionary* asDictionary() const { return std::get_if<Dictionary>(&v_); }
    Dictionary* asDictionary() { return std::get_if<Dictionary>(&v_); }
    const ObjectRef* asObjectRef() const { return std::get_if<ObjectRef>(&v_); }

    template <class T>
    std::shared_ptr<const T> asObject() const {
        const ObjectRef* o = asObjectRef();
        return o ? std::dynamic_pointer_cast<const T>(*o) : nullptr;
    }

    // Dictionary member lookup; nullptr when not a dictionary or no such key.
    const Value* find(const std::string& key) const;

    // Deep equality; objects compare by identity.
    friend bool operator==(const Value& a, const Value& b) { return a.v_ == b.v_; }

    // Short human-readable form for logs and test failures.
    std::string description() const;

private:
    std::variant<std::monostate, bool, int64_t, double, std::string, platform::Date, Data,
                 platform::Uid, Array, Dictionary, ObjectRef>
        v_;
};

const char* typeName(Value::Type type);

}  // namespace platform
