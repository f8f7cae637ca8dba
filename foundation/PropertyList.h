#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
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

// A parsed list left in libplist's tree, for readers that visit parts of a
// large list once (keyed archives): converting all of it to a Value first
// costs as much again as parsing. Accepts and refuses input as parse does.
class Document {
public:
    // A node of this document, valid while the document lives.
    struct Node;

    static std::optional<Document> parse(const std::vector<uint8_t>& bytes,
                                         std::string* error = nullptr);
    Document(Document&& other) noexcept;
    Document& operator=(Document&&) = delete;
    ~Document();

    const Node* root() const { return root_; }
    // The type value() gives, found without converting.
    Value::Type type(const Node* node) const;
    // nullptr unless `dictionary` is one and has `key`; the first of equal
    // keys counts (parse keeps the last) and keys are compared unrepaired.
    const Node* member(const Node* dictionary, const char* key) const;
    // Empty unless `array` is one.
    std::vector<const Node*> elements(const Node* array) const;
    // value()'s number when type() is Uid.
    std::optional<uint64_t> uid(const Node* node) const;
    // The node and all it holds, converted as parse converts them.
    std::optional<Value> value(const Node* node, std::string* error = nullptr) const;

private:
    Document(void* root, bool xml);

    Node* root_;
    bool xml_;
};

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

// Assembles a property list in place, for writers of many small objects
// (keyed archives): a Value tree built only to be serialized would cost as
// much again. Binary lists are written without libplist, whose writer costs
// most of a large archive's save. Values are checked and refused as
// serialize does; the first failure is kept, later calls do nothing and
// result() fails with it.
class Builder {
public:
    // An array or dictionary of this builder, valid while the builder lives.
    struct Container;

    // The top object is an empty dictionary.
    explicit Builder(Format format);
    ~Builder();
    Builder(const Builder&) = delete;
    Builder& operator=(const Builder&) = delete;

    Container* top() const { return top_; }
    // A dictionary member replaces an earlier one of the same key (whose
    // container, if it was one, is gone). A new container is null once the
    // builder has failed.
    Container* addArray(Container* dictionary, const std::string& key);
    Container* addDictionary(Container* dictionary, const std::string& key);
    Container* appendArray(Container* array);
    Container* appendDictionary(Container* array);
    void add(Container* dictionary, const std::string& key, const Value& value);
    void append(Container* array, const Value& value);

    bool failed() const { return !error_.empty(); }
    std::optional<std::vector<uint8_t>> result(std::string* error = nullptr) const;

    // The objects made so far, shared with serialize's binary writer.
    struct Table;

private:
    bool attach(Container* parent, const std::string* key, uint32_t child);
    Container* attachContainer(Container* parent, const std::string* key, bool array);
    void attachValue(Container* parent, const std::string* key, const Value& value);

    std::unique_ptr<Table> table_;
    Container* top_;
    std::string error_;
};

}  // namespace platform::PropertyList
