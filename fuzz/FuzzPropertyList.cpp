// Reads arbitrary bytes as a property list. Whatever reads must write in both
// formats (unless it holds something a list cannot store) and read back the
// same.
#include <cstdio>
#include <cstdlib>

#include "foundation/PropertyList.h"
#include "fuzz/FuzzSupport.h"

namespace PL = platform::PropertyList;
using platform::Value;

namespace {

// libplist writes a UID into XML as a dictionary holding only "CF$UID", which
// reads back as the UID; a dictionary of that shape from a binary list
// therefore legitimately comes back from XML as a UID.
bool looksLikeXmlUid(const Value& v) {
    const auto* d = v.asDictionary();
    if (!d || d->size() != 1) return false;
    const Value* uid = v.find("CF$UID");
    return uid && uid->isInteger() && *uid->asInteger() >= 0;
}

bool hasXmlUidLookalike(const Value& v) {
    if (looksLikeXmlUid(v)) return true;
    if (const auto* a = v.asArray()) {
        for (const Value& item : *a) {
            if (hasXmlUidLookalike(item)) return true;
        }
    }
    if (const auto* d = v.asDictionary()) {
        for (const auto& [key, item] : *d) {
            if (hasXmlUidLookalike(item)) return true;
        }
    }
    return false;
}

[[noreturn]] void failure(const char* what, const std::string& detail) {
    std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error;
    const std::optional<Value> value = PL::parse(data, size, &error);
    if (!value) {
        if (error.empty()) failure("parse failed without saying why", "");
        return 0;
    }
    for (PL::Format format : {PL::Format::Binary, PL::Format::Xml}) {
        const auto bytes = PL::serialize(*value, format, &error);
        if (!bytes) continue;  // NUL in a string, a date beyond year 9999, ...
        const auto back = PL::parse(*bytes, &error);
        if (!back) failure("cannot read what was written", error);
        const bool xml = format == PL::Format::Xml;
        if (xml && hasXmlUidLookalike(*value)) continue;
        if (!fuzzsupport::same(*value, *back, {xml, {}})) {
            failure(
                xml ? "XML round trip changed the value" : "binary round trip changed the value",
                value->description() + " -> " + back->description());
        }
    }
    return 0;
}
