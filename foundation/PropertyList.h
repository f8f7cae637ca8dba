#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "foundation/Value.h"

// Property lists, XML and binary ("bplist00"), read and written through
// libplist. Reading is meant for untrusted files: input that is too large,
// nested too deeply, (XML) has huge dictionaries or (binary) expands too far
// through shared references is refused before libplist sees it.
namespace platform::PropertyList {

enum class Format { Xml, Binary };

// Limits on what is read. Far above anything the program stores.
inline constexpr size_t kMaxInputSize = 32u << 20;
inline constexpr int kMaxDepth = 512;
inline constexpr uint32_t kMaxXmlDictionaryKeys = 16384;  // binary lists have no such limit

// Detects binary ("bplist00") or XML. nullopt + error for anything malformed.
//
// Integers are int64. A binary 128-bit integer or an XML integer above
// INT64_MAX reads as a Real with the nearest value; a 64-bit binary integer is
// two's complement, as every writer means it. Strings that are not valid
// UTF-8 have the bad bytes replaced by U+FFFD. Dates keep the exact seconds
// stored in a binary list; XML dates have whole seconds. XML has no UID
// element: a dictionary holding only "CF$UID": n reads as Uid n, which is
// also how a Uid is written to XML.
std::optional<Value> parse(const uint8_t* data, size_t size, std::string* error = nullptr);
std::optional<Value> parse(const std::vector<uint8_t>& bytes, std::string* error = nullptr);
std::optional<Value> readFile(const std::string& path, std::string* error = nullptr);

// Fails (nullopt + error) for values a property list cannot hold: Null,
// Object, strings or keys with a NUL or invalid UTF-8 (in XML also other
// control characters than tab and line breaks), dates outside the years 1 to
// 9999 or not finite, nesting deeper than kMaxDepth. XML dates are rounded
// down to whole seconds.
std::optional<std::vector<uint8_t>> serialize(const Value& value, Format format,
                                              std::string* error = nullptr);
// Atomic, through writeFileAtomically.
bool writeFile(const std::string& path, const Value& value, Format format,
               std::string* error = nullptr);

}  // namespace platform::PropertyList
