#include "foundation/Value.h"

#include <cmath>
#include <cstdio>
#include <sstream>

namespace platform {

std::optional<bool> Value::asBool() const {
    if (auto b = std::get_if<bool>(&v_)) return *b;
    return std::nullopt;
}

std::optional<int64_t> Value::asInteger() const {
    if (auto i = std::get_if<int64_t>(&v_)) return *i;
    if (auto d = std::get_if<double>(&v_)) {
        // Only exact whole numbers inside int64's range convert.
        if (std::isfinite(*d) && std::trunc(*d) == *d && *d >= -9.2233720368547758e18 &&
            *d < 9.2233720368547758e18) {
            return static_cast<int64_t>(*d);
        }
    }
    return std::nullopt;
}

std::optional<double> Value::asReal() const {
    if (auto d = std::get_if<double>(&v_)) return *d;
    if (auto i = std::get_if<int64_t>(&v_)) return static_cast<double>(*i);
    return std::nullopt;
}

std::optional<platform::Date> Value::asDate() const {
    if (auto d = std::get_if<platform::Date>(&v_)) return *d;
    return std::nullopt;
}

std::optional<platform::Uid> Value::asUid() const {
    if (auto u = std::get_if<platform::Uid>(&v_)) return *u;
    return std::nullopt;
}

const Value* Value::find(const std::string& key) const {
    const Dictionary* d = asDictionary();
    if (!d) return nullptr;
    auto it = d->find(key);
    return it == d->end() ? nullptr : &it->second;
}

const char* typeName(Value::Type type) {
    switch (type) {
        case Value::Type::Null: return "null";
        case Value::Type::Bool: return "bool";
        case Value::Type::Integer: return "integer";
        case Value::Type::Real: return "real";
        case Value::Type::String: return "string";
        case Value::Type::Date: return "date";
        case Value::Type::Data: return "data";
        case Value::Type::Uid: return "uid";
        case Value::Type::Array: return "array";
        case Value::Type::Dictionary: return "dictionary";
        case Value::Type::Object: return "object";
    }
    return "?";
}

namespace {

void describe(const Value& v, std::ostringstream& out) {
    switch (v.type()) {
        case Value::Type::Null: out << "null"; break;
        case Value::Type::Bool: out << (*v.asBool() ? "true" : "false"); break;
        case Value::Type::Integer: out << *v.asInteger(); break;
        case Value::Type::Real: out << *v.asReal(); break;
        case Value::Type::String: out << '"' << *v.asString() << '"'; break;
        case Value::Type::Date: out << "date(" << v.asDate()->secondsSinceReferenceDate << ")"; break;
        case Value::Type::Data: out << "data(" << v.asData()->size() << " bytes)"; break;
        case Value::Type::Uid: out << "uid(" << v.asUid()->value << ")"; break;
        case Value::Type::Array: {
            out << '[';
            bool first = true;
            for (const Value& e : *v.asArray()) {
                if (!first) out << ", ";
                first = false;
                describe(e, out);
            }
            out << ']';
            break;
        }
        case Value::Type::Dictionary: {
            out << '{';
            bool first = true;
            for (const auto& [k, e] : *v.asDictionary()) {
                if (!first) out << ", ";
                first = false;
                out << '"' << k << "\": ";
                describe(e, out);
            }
            out << '}';
            break;
        }
        case Value::Type::Object: {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%p", static_cast<const void*>(v.asObjectRef()->get()));
            out << "object(" << buf << ")";
            break;
        }
    }
}

}  // namespace

std::string Value::description() const {
    std::ostringstream out;
    describe(*this, out);
    return out.str();
}

}  // namespace platform
