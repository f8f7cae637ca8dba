#include "foundation/PropertyList.h"

#include <locale.h>
#include <plist/plist.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <unordered_map>

#include "foundation/Files.h"

namespace platform::PropertyList {

namespace {

struct PlistFree {
    void operator()(void* node) const { plist_free(node); }
};
using Plist = std::unique_ptr<void, PlistFree>;

struct MallocFree {
    void operator()(void* p) const { std::free(p); }
};
struct BinFree {
    void operator()(char* p) const { plist_to_bin_free(p); }
};
struct XmlFree {
    void operator()(char* p) const { plist_to_xml_free(p); }
};

void setError(std::string* error, std::string message) {
    if (error) *error = std::move(message);
}

constexpr char kBinaryMagic[] = "bplist00";
constexpr size_t kBinaryMagicSize = 8;
constexpr size_t kBinaryTrailerSize = 32;

uint64_t readBigEndian(const uint8_t* p, size_t width) {
    uint64_t v = 0;
    for (size_t i = 0; i < width; ++i) v = (v << 8) | p[i];
    return v;
}

// ---------------------------------------------------------------------------
// Checks run before libplist parses. libplist 2.2 recurses once per nesting
// level while parsing and freeing (a few ten thousand levels overflow the
// stack) and copies a binary object once for every reference to it, so a few
// kilobytes of shared references expand into gigabytes.

// Binary: follows the object references from the top object without decoding
// any values; rejects cycles, nesting deeper than kMaxDepth and trees that
// would expand beyond a multiple of the input size.
bool checkBinaryShape(const uint8_t* data, size_t size, std::string* error) {
    auto fail = [&](const char* why) {
        setError(error, std::string("malformed binary property list: ") + why);
        return false;
    };
    if (size < kBinaryMagicSize + 1 + kBinaryTrailerSize) return fail("too short");
    const uint8_t* trailer = data + size - kBinaryTrailerSize;
    const size_t offsetSize = trailer[6];
    const size_t refSize = trailer[7];
    const uint64_t objectCount = readBigEndian(trailer + 8, 8);
    const uint64_t topObject = readBigEndian(trailer + 16, 8);
    const uint64_t tableOffset = readBigEndian(trailer + 24, 8);
    const size_t bodyEnd = size - kBinaryTrailerSize;
    if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8) return fail("bad widths");
    if (objectCount == 0 || topObject >= objectCount) return fail("bad object count");
    if (tableOffset < kBinaryMagicSize || tableOffset > bodyEnd ||
        objectCount > (bodyEnd - tableOffset) / offsetSize) {
        return fail("bad offset table");
    }

    // Marker nibble, length and payload of the object at `index`.
    struct Header {
        uint8_t kind = 0;
        uint64_t length = 0;
        const uint8_t* payload = nullptr;
    };
    const uint8_t* const end = data + tableOffset;
    auto headerOf = [&](uint64_t index, Header& out) -> bool {
        const uint64_t offset = readBigEndian(data + tableOffset + index * offsetSize, offsetSize);
        if (offset < kBinaryMagicSize || offset >= tableOffset) return false;
        const uint8_t* p = data + offset;
        out.kind = *p >> 4;
        out.length = *p++ & 0x0F;
        if (out.length == 0x0F) {
            if (p >= end || (*p >> 4) != 0x1 || (*p & 0x0F) > 3) return false;
            const size_t width = size_t{1} << (*p & 0x0F);
            ++p;
            if (static_cast<size_t>(end - p) < width) return false;
            out.length = readBigEndian(p, width);
            p += width;
        }
        out.payload = p;
        return true;
    };

    // libplist accepts any object as a dictionary key but asserts when asked
    // for a key that is not a string or holds a NUL.
    std::vector<uint8_t> keyChecked(objectCount, 0);  // 0 unknown, 1 good, 2 bad
    auto isGoodKey = [&](uint64_t index) -> bool {
        if (keyChecked[index] != 0) return keyChecked[index] == 1;
        Header h;
        bool good = headerOf(index, h) && (h.kind == 0x5 || h.kind == 0x6);
        if (good) {
            const uint64_t unit = h.kind == 0x5 ? 1 : 2;
            good = h.length <= static_cast<uint64_t>(end - h.payload) / unit;
            for (uint64_t i = 0; good && i < h.length; ++i) {
                const uint8_t* c = h.payload + i * unit;
                good = unit == 1 ? c[0] != 0 : (c[0] | c[1]) != 0;
            }
        }
        keyChecked[index] = good ? 1 : 2;
        return good;
    };

    // Children of the object at `index`: start of its reference list and the
    // number of references; zero for anything that is not a container.
    struct Children {
        const uint8_t* refs = nullptr;
        uint64_t count = 0;
    };
    auto childrenOf = [&](uint64_t index, Children& out) -> bool {
        Header h;
        if (!headerOf(index, h)) return false;
        out = {};
        if (h.kind != 0xA && h.kind != 0xC && h.kind != 0xD) return true;  // arrays, sets, dicts
        const uint64_t refs = h.kind == 0xD ? h.length * 2 : h.length;
        if (h.length > (uint64_t{1} << 62) ||
            refs > static_cast<uint64_t>(end - h.payload) / refSize) {
            return false;
        }
        if (h.kind == 0xD) {
            for (uint64_t i = 0; i < h.length; ++i) {
                const uint64_t key = readBigEndian(h.payload + i * refSize, refSize);
                if (key >= objectCount || !isGoodKey(key)) return false;
            }
        }
        out.refs = h.payload;
        out.count = refs;
        return true;
    };

    // Iterative depth-first walk; every object is expanded once and remembers
    // its height and the size of its subtree with all sharing unfolded.
    enum : uint8_t { kUnseen, kOpen, kDone };
    std::vector<uint8_t> state(objectCount, kUnseen);
    std::vector<uint32_t> height(objectCount, 0);
    std::vector<uint64_t> expanded(objectCount, 0);
    const uint64_t maxExpanded = std::min<uint64_t>(uint64_t{16} * size + 1024, uint64_t{4} << 20);
    struct Frame {
        uint64_t index;
        Children children;
        uint64_t next;
    };
    std::vector<Frame> stack;
    auto open = [&](uint64_t index) -> bool {
        Frame f{index, {}, 0};
        if (!childrenOf(index, f.children)) return false;
        state[index] = kOpen;
        expanded[index] = 1;
        stack.push_back(f);
        return true;
    };
    // Accounts a finished child to its parent; false when a limit is passed.
    const char* why = nullptr;
    auto join = [&](uint64_t parent, uint64_t child) -> bool {
        height[parent] = std::max(height[parent], height[child] + 1);
        expanded[parent] = std::min(expanded[parent] + expanded[child], maxExpanded + 1);
        if (height[parent] > static_cast<uint32_t>(kMaxDepth)) why = "nested too deeply";
        if (expanded[parent] > maxExpanded) why = "shared references expand too far";
        return why == nullptr;
    };
    if (!open(topObject)) return fail("bad object or dictionary key");
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next == f.children.count) {
            const uint64_t done = f.index;
            stack.pop_back();
            state[done] = kDone;
            if (!stack.empty() && !join(stack.back().index, done)) return fail(why);
            continue;
        }
        const uint64_t child = readBigEndian(f.children.refs + f.next * refSize, refSize);
        ++f.next;
        if (child >= objectCount) return fail("reference out of range");
        if (state[child] == kOpen) return fail("reference cycle");
        if (state[child] == kDone) {
            if (!join(f.index, child)) return fail(why);
            continue;
        }
        if (stack.size() > static_cast<size_t>(kMaxDepth)) return fail("nested too deeply");
        if (!open(child)) return fail("bad object or dictionary key");
    }
    return true;
}

bool startsWith(const char* p, const char* end, const char* literal) {
    const size_t n = std::strlen(literal);
    return static_cast<size_t>(end - p) >= n && std::memcmp(p, literal, n) == 0;
}

bool isNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == ':' ||
           c == '.';
}

// XML: counts open <array> and <dict> elements, skipping comments, CDATA and
// processing instructions the way an XML reader does. Anything libplist could
// take for a container is counted, so the count never falls below its depth.
// Also counts the keys of each dictionary: libplist's XML reader takes time
// quadratic in them (400,000 keys take ten seconds).
bool checkXmlShape(const char* p, const char* end, std::string* error) {
    auto skipPast = [&](const char* terminator) {
        const char* found = std::search(p, end, terminator, terminator + std::strlen(terminator));
        if (found == end) return false;
        p = found + std::strlen(terminator);
        return true;
    };
    int depth = 0;
    std::vector<uint32_t> keys(kMaxDepth + 1, 0);  // per open container
    while ((p = static_cast<const char*>(std::memchr(p, '<', end - p))) != nullptr) {
        bool closed = true;
        if (startsWith(p, end, "<!--")) {
            closed = skipPast("-->");
        } else if (startsWith(p, end, "<![CDATA[")) {
            closed = skipPast("]]>");
        } else if (startsWith(p, end, "<?")) {
            closed = skipPast("?>");
        } else if (startsWith(p, end, "</array") || startsWith(p, end, "</dict")) {
            p += p[2] == 'a' ? 7 : 6;
            if (p < end && !isNameChar(*p) && depth > 0) --depth;
        } else if (startsWith(p, end, "<array") || startsWith(p, end, "<dict")) {
            p += p[1] == 'a' ? 6 : 5;
            if (p < end && !isNameChar(*p)) {
                const char* tagEnd = static_cast<const char*>(std::memchr(p, '>', end - p));
                closed = tagEnd != nullptr;
                if (closed && tagEnd[-1] != '/') {
                    if (++depth > kMaxDepth) {
                        setError(error, "property list nested too deeply");
                        return false;
                    }
                    keys[depth] = 0;
                }
                // Past the tag, so a run of unclosed tags costs linear time.
                if (closed) p = tagEnd + 1;
            }
        } else if (startsWith(p, end, "<key")) {
            p += 4;
            if (p < end && !isNameChar(*p) && ++keys[depth] > kMaxXmlDictionaryKeys) {
                setError(error, "XML property list dictionary has too many keys");
                return false;
            }
        } else {
            ++p;
        }
        if (!closed) {
            setError(error, "malformed XML property list: unterminated markup");
            return false;
        }
        if (p >= end) break;
    }
    return true;
}

// libplist's XML reader converts numbers with strtod, which follows the
// locale; the GUI runs under the user's locale, where "0.5" might read as 0.
// Parsing and writing switch this thread to the C numeric rules.
class CNumericLocale {
public:
    CNumericLocale() {
        static const locale_t c = newlocale(LC_NUMERIC_MASK, "C", locale_t{});
        if (c) previous_ = uselocale(c);
    }
    ~CNumericLocale() {
        if (previous_) uselocale(previous_);
    }
    CNumericLocale(const CNumericLocale&) = delete;
    CNumericLocale& operator=(const CNumericLocale&) = delete;

private:
    locale_t previous_{};
};

// ---------------------------------------------------------------------------
// Text

// Length of the valid UTF-8 sequence at p, or 0.
size_t utf8SequenceLength(const unsigned char* p, const unsigned char* end) {
    const unsigned char c = p[0];
    if (c < 0x80) return 1;
    size_t n;
    uint32_t cp;
    if ((c & 0xE0) == 0xC0) {
        n = 2;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        n = 3;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        n = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (static_cast<size_t>(end - p) < n) return 0;
    for (size_t i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    static constexpr uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

bool isValidUtf8(const std::string& s) {
    auto p = reinterpret_cast<const unsigned char*>(s.data());
    const auto end = p + s.size();
    while (p < end) {
        const size_t n = utf8SequenceLength(p, end);
        if (n == 0) return false;
        p += n;
    }
    return true;
}

std::string repairedUtf8(const char* data, size_t size) {
    auto p = reinterpret_cast<const unsigned char*>(data);
    const auto end = p + size;
    // Almost all text is valid: find the first bad byte before copying piecewise.
    while (p < end) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const size_t n = utf8SequenceLength(p, end);
        if (n == 0) break;
        p += n;
    }
    if (p == end) return std::string(data, size);
    std::string out(data, reinterpret_cast<const char*>(p));
    out.reserve(size + 2);
    while (p < end) {
        const size_t n = utf8SequenceLength(p, end);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++p;
        } else {
            out.append(reinterpret_cast<const char*>(p), n);
            p += n;
        }
    }
    return out;
}

// ---------------------------------------------------------------------------
// Scalars libplist 2.2 cannot hand out through its accessors. Its date getter
// truncates to int32 seconds and drops the sign of the fraction, and it has
// no way to tell a 128-bit unsigned integer from a negative one. The binary
// form of a lone node carries both exactly, so such nodes take a trip
// through a one-object binary list.

// The single object of a binary list made from a copy of `node`.
std::vector<uint8_t> singleObjectBytes(plist_t node) {
    Plist copy(plist_copy(node));
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(copy.get(), &bytes, &length);
    std::unique_ptr<char, BinFree> owned(bytes);
    if (!bytes || length < kBinaryMagicSize + 1 + kBinaryTrailerSize) return {};
    return std::vector<uint8_t>(bytes + kBinaryMagicSize, bytes + length - kBinaryTrailerSize);
}

std::optional<double> exactDateSeconds(plist_t node) {
    const std::vector<uint8_t> object = singleObjectBytes(node);
    if (object.size() < 9 || object[0] != 0x33) return std::nullopt;
    const uint64_t bits = readBigEndian(object.data() + 1, 8);
    double seconds;
    std::memcpy(&seconds, &bits, sizeof seconds);
    return seconds;
}

bool isUnsigned128(plist_t node) {
    const std::vector<uint8_t> object = singleObjectBytes(node);
    return !object.empty() && object[0] == 0x14;
}

plist_t newDate(double seconds) {
    uint8_t list[kBinaryMagicSize + 9 + 1 + kBinaryTrailerSize] = {};
    std::memcpy(list, kBinaryMagic, kBinaryMagicSize);
    uint64_t bits;
    std::memcpy(&bits, &seconds, sizeof bits);
    list[8] = 0x33;
    for (int i = 0; i < 8; ++i) list[9 + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    list[17] = 8;  // offset table: the object starts right after the magic
    uint8_t* trailer = list + 18;
    trailer[6] = 1;   // offset width
    trailer[7] = 1;   // reference width
    trailer[15] = 1;  // one object, the top one (index 0)
    trailer[31] = 17;
    plist_t node = nullptr;
    plist_from_bin(reinterpret_cast<const char*>(list), sizeof list, &node);
    return node;
}

// Years 1 to 9999 relative to 2001-01-01; libplist formats XML dates with
// gmtime and a four-digit year.
constexpr double kEarliestDate = -63113904000.0;
constexpr double kLatestDate = 252423993599.0;

// ---------------------------------------------------------------------------
// libplist tree -> Value

struct ReadContext {
    bool xml;
    std::string* error;
};

bool toValue(plist_t node, int depth, Value& out, const ReadContext& context) {
    std::string* error = context.error;
    if (depth > kMaxDepth) {
        setError(error, "property list nested too deeply");
        return false;
    }
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            uint8_t b = 0;
            plist_get_bool_val(node, &b);
            out = Value(b != 0);
            return true;
        }
        case PLIST_UINT: {
            uint64_t u = 0;
            plist_get_uint_val(node, &u);
            if (u > static_cast<uint64_t>(INT64_MAX) && isUnsigned128(node)) {
                out = Value(static_cast<double>(u));
            } else {
                out = Value(static_cast<int64_t>(u));
            }
            return true;
        }
        case PLIST_REAL: {
            double d = 0;
            plist_get_real_val(node, &d);
            out = Value(d);
            return true;
        }
        case PLIST_STRING: {
            uint64_t length = 0;
            const char* s = plist_get_string_ptr(node, &length);
            out = Value(s ? repairedUtf8(s, length) : std::string());
            return true;
        }
        case PLIST_DATE: {
            std::optional<double> seconds = exactDateSeconds(node);
            if (!seconds) {
                int32_t sec = 0, usec = 0;
                plist_get_date_val(node, &sec, &usec);
                seconds = sec + usec / 1e6;
            }
            out = Value(Date{*seconds});
            return true;
        }
        case PLIST_DATA: {
            uint64_t length = 0;
            const char* bytes = plist_get_data_ptr(node, &length);
            Value::Data data;
            if (bytes) data.assign(bytes, bytes + length);
            out = Value(std::move(data));
            return true;
        }
        case PLIST_UID: {
            uint64_t u = 0;
            plist_get_uid_val(node, &u);
            out = Value(Uid{u});
            return true;
        }
        case PLIST_ARRAY: {
            Value::Array array;
            array.reserve(plist_array_get_size(node));
            plist_array_iter it = nullptr;
            plist_array_new_iter(node, &it);
            std::unique_ptr<void, MallocFree> ownedIter(it);
            for (plist_t item = nullptr;;) {
                plist_array_next_item(node, it, &item);
                if (!item) break;
                array.emplace_back();
                if (!toValue(item, depth + 1, array.back(), context)) return false;
            }
            out = Value(std::move(array));
            return true;
        }
        case PLIST_DICT: {
            Value::Dictionary dict;
            plist_dict_iter it = nullptr;
            plist_dict_new_iter(node, &it);
            std::unique_ptr<void, MallocFree> ownedIter(it);
            for (;;) {
                plist_t item = nullptr;
                plist_dict_next_item(node, it, nullptr, &item);
                if (!item) break;
                // libplist's binary reader lets any object be a key, and its
                // key getter asserts on anything but a string.
                plist_t keyNode = plist_dict_item_get_key(item);
                if (!keyNode || plist_get_node_type(keyNode) != PLIST_KEY) {
                    setError(error, "property list dictionary key is not a string");
                    return false;
                }
                char* rawKey = nullptr;
                plist_get_key_val(keyNode, &rawKey);
                std::unique_ptr<char, MallocFree> key(rawKey);
                std::string name = key ? repairedUtf8(key.get(), std::strlen(key.get())) : "";
                Value v;
                if (!toValue(item, depth + 1, v, context)) return false;
                dict.insert_or_assign(std::move(name), std::move(v));
            }
            // XML has no UID element; writers (libplist among them) store one
            // as a dictionary holding just "CF$UID".
            if (context.xml && dict.size() == 1) {
                const auto& [key, v] = *dict.begin();
                if (key == "CF$UID" && v.isInteger() && *v.asInteger() >= 0) {
                    out = Value(Uid{static_cast<uint64_t>(*v.asInteger())});
                    return true;
                }
            }
            out = Value(std::move(dict));
            return true;
        }
        case PLIST_KEY:
        case PLIST_NONE:
            break;
    }
    setError(error, "property list holds a node of unknown type");
    return false;
}

// ---------------------------------------------------------------------------
// Value -> libplist tree

bool checkText(const std::string& s, const char* what, Format format, std::string* error) {
    // XML 1.0 has no way to write C0 controls other than tab and line breaks;
    // NUL would end libplist's C strings in either format.
    bool ascii = true;
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20) {
            ascii = ascii && u < 0x80;
        } else if (u == 0 || (format == Format::Xml && c != '\t' && c != '\n' && c != '\r')) {
            setError(error, std::string("a property list ") + what +
                                (u == 0 ? " cannot contain NUL"
                                        : " in XML cannot contain control characters"));
            return false;
        }
    }
    // Keys and most strings are ASCII; only the others need the UTF-8 walk.
    if (!ascii && !isValidUtf8(s)) {
        setError(error, std::string("a property list ") + what + " must be valid UTF-8");
        return false;
    }
    return true;
}

Plist toPlist(const Value& value, Format format, int depth, std::string* error) {
    if (depth > kMaxDepth) {
        setError(error, "value nested too deeply for a property list");
        return nullptr;
    }
    switch (value.type()) {
        case Value::Type::Null:
            setError(error, "a property list cannot hold null");
            return nullptr;
        case Value::Type::Object:
            setError(error, "a property list cannot hold an object");
            return nullptr;
        case Value::Type::Bool:
            return Plist(plist_new_bool(*value.asBool() ? 1 : 0));
        case Value::Type::Integer:
            // Negative numbers travel as their two's complement, which is how
            // both formats store them.
            return Plist(plist_new_uint(static_cast<uint64_t>(*value.asInteger())));
        case Value::Type::Real:
            return Plist(plist_new_real(*value.asReal()));
        case Value::Type::String:
            if (!checkText(*value.asString(), "string", format, error)) return nullptr;
            return Plist(plist_new_string(value.asString()->c_str()));
        case Value::Type::Date: {
            double seconds = value.asDate()->secondsSinceReferenceDate;
            if (!(seconds >= kEarliestDate && seconds <= kLatestDate)) {
                setError(error, "date outside the years a property list can hold");
                return nullptr;
            }
            // XML dates have whole seconds; round down as other writers do,
            // where libplist would round toward zero.
            if (format == Format::Xml) seconds = std::floor(seconds);
            Plist node(newDate(seconds));
            if (!node) setError(error, "cannot create a property-list date");
            return node;
        }
        case Value::Type::Data: {
            const Value::Data& data = *value.asData();
            static const char empty = 0;
            return Plist(plist_new_data(
                data.empty() ? &empty : reinterpret_cast<const char*>(data.data()), data.size()));
        }
        case Value::Type::Uid:
            return Plist(plist_new_uid(value.asUid()->value));
        case Value::Type::Array: {
            Plist array(plist_new_array());
            for (const Value& item : *value.asArray()) {
                Plist child = toPlist(item, format, depth + 1, error);
                if (!child) return nullptr;
                plist_array_append_item(array.get(), child.release());
            }
            return array;
        }
        case Value::Type::Dictionary: {
            Plist dict(plist_new_dict());
            for (const auto& [key, item] : *value.asDictionary()) {
                if (!checkText(key, "key", format, error)) return nullptr;
                Plist child = toPlist(item, format, depth + 1, error);
                if (!child) return nullptr;
                plist_dict_set_item(dict.get(), key.c_str(), child.release());
            }
            return dict;
        }
    }
    setError(error, "unknown value type");
    return nullptr;
}

std::optional<std::vector<uint8_t>> write(plist_t root, Format format, std::string* error) {
    CNumericLocale numeric;
    char* bytes = nullptr;
    uint32_t length = 0;
    std::vector<uint8_t> out;
    if (format == Format::Binary) {
        plist_to_bin(root, &bytes, &length);
        std::unique_ptr<char, BinFree> owned(bytes);
        if (bytes) out.assign(bytes, bytes + length);
    } else {
        plist_to_xml(root, &bytes, &length);
        std::unique_ptr<char, XmlFree> owned(bytes);
        if (bytes) out.assign(bytes, bytes + length);
    }
    if (out.empty()) {
        setError(error, "libplist could not write the property list");
        return std::nullopt;
    }
    return out;
}

// libplist's tree of `data`, after the checks that keep hostile input away
// from it.
Plist parseTree(const uint8_t* data, size_t size, bool* xml, std::string* error) {
    if (size == 0 || !data) {
        setError(error, "empty property list");
        return nullptr;
    }
    if (size > kMaxInputSize) {
        setError(error, "property list larger than " + std::to_string(kMaxInputSize) + " bytes");
        return nullptr;
    }
    CNumericLocale numeric;
    plist_t raw = nullptr;
    const bool binary =
        size >= kBinaryMagicSize && std::memcmp(data, kBinaryMagic, kBinaryMagicSize) == 0;
    if (binary) {
        if (!checkBinaryShape(data, size, error)) return nullptr;
        plist_from_bin(reinterpret_cast<const char*>(data), static_cast<uint32_t>(size), &raw);
    } else {
        // libplist's XML reader relies on a terminating NUL in places.
        const std::string text(reinterpret_cast<const char*>(data), size);
        if (!checkXmlShape(text.data(), text.data() + text.size(), error)) return nullptr;
        plist_from_xml(text.c_str(), static_cast<uint32_t>(text.size()), &raw);
    }
    if (!raw) setError(error, "malformed property list");
    *xml = !binary;
    return Plist(raw);
}

}  // namespace

// ---------------------------------------------------------------------------
// Objects for the binary writer, and the Builder's containers. A binary list
// is a flat table of objects; containers hold the indices of theirs, so an
// object's bytes can be written once the table is complete. Strings (keys
// above all) are stored once.

struct Builder::Container {
    bool array;
    int depth;
    std::vector<uint32_t> keys;
    std::vector<uint32_t> values;
};

struct Builder::Table {
    struct Object {
        Value leaf;
        Container* container = nullptr;
    };

    explicit Table(Format f) : format(f) {}

    Format format;
    // A deque: growing moves no Value.
    std::deque<Object> objects;
    std::deque<Container> containers;
    std::unordered_map<std::string, uint32_t> strings;

    uint32_t push(Value leaf, Container* container = nullptr) {
        objects.push_back(Object{std::move(leaf), container});
        return static_cast<uint32_t>(objects.size() - 1);
    }

    Container* newContainer(bool array, int depth, uint32_t* index) {
        Container* container = &containers.emplace_back(Container{array, depth, {}, {}});
        *index = push(Value(), container);
        return container;
    }

    std::optional<uint32_t> addString(const std::string& s, const char* what, std::string* error) {
        if (auto it = strings.find(s); it != strings.end()) return it->second;
        if (!checkText(s, what, format, error)) return std::nullopt;
        const uint32_t index = push(Value(s));
        strings.emplace(s, index);
        return index;
    }

    // `value` and all it holds; checked and refused as toPlist does.
    std::optional<uint32_t> add(const Value& value, int depth, std::string* error) {
        if (depth > kMaxDepth) {
            setError(error, "value nested too deeply for a property list");
            return std::nullopt;
        }
        switch (value.type()) {
            case Value::Type::Null:
                setError(error, "a property list cannot hold null");
                return std::nullopt;
            case Value::Type::Object:
                setError(error, "a property list cannot hold an object");
                return std::nullopt;
            case Value::Type::String:
                return addString(*value.asString(), "string", error);
            case Value::Type::Date: {
                double seconds = value.asDate()->secondsSinceReferenceDate;
                if (!(seconds >= kEarliestDate && seconds <= kLatestDate)) {
                    setError(error, "date outside the years a property list can hold");
                    return std::nullopt;
                }
                if (format == Format::Xml) seconds = std::floor(seconds);
                return push(Value(Date{seconds}));
            }
            case Value::Type::Array: {
                uint32_t index;
                Container* c = newContainer(true, depth, &index);
                c->values.reserve(value.asArray()->size());
                for (const Value& item : *value.asArray()) {
                    auto child = add(item, depth + 1, error);
                    if (!child) return std::nullopt;
                    c->values.push_back(*child);
                }
                return index;
            }
            case Value::Type::Dictionary: {
                uint32_t index;
                Container* c = newContainer(false, depth, &index);
                for (const auto& [key, item] : *value.asDictionary()) {
                    auto k = addString(key, "key", error);
                    auto child = k ? add(item, depth + 1, error) : std::nullopt;
                    if (!child) return std::nullopt;
                    c->keys.push_back(*k);
                    c->values.push_back(*child);
                }
                return index;
            }
            default:
                return push(value);
        }
    }

    Value toValue(uint32_t index) const {
        const Object& object = objects[index];
        if (!object.container) return object.leaf;
        const Container& c = *object.container;
        if (c.array) {
            Value::Array array;
            array.reserve(c.values.size());
            for (uint32_t v : c.values) array.push_back(toValue(v));
            return array;
        }
        Value::Dictionary dictionary;
        for (size_t i = 0; i < c.keys.size(); ++i) {
            dictionary.emplace(*objects[c.keys[i]].leaf.asString(), toValue(c.values[i]));
        }
        return dictionary;
    }

    // "bplist00", the objects in table order (the top one first), the offset
    // table and the trailer; widths as small as the counts allow.
    std::vector<uint8_t> writeBinary() const {
        std::vector<uint8_t> out(kBinaryMagic, kBinaryMagic + kBinaryMagicSize);
        out.reserve(objects.size() * 16 + 64);
        const int refWidth = widthOf(objects.size());
        std::vector<uint64_t> offsets;
        offsets.reserve(objects.size());
        for (const Object& object : objects) {
            offsets.push_back(out.size());
            if (object.container) {
                const Container& c = *object.container;
                putCount(out, c.array ? 0xA0 : 0xD0, c.values.size());
                for (uint32_t k : c.keys) putBigEndian(out, k, refWidth);
                for (uint32_t v : c.values) putBigEndian(out, v, refWidth);
            } else {
                putLeaf(out, object.leaf);
            }
        }
        const uint64_t tableOffset = out.size();
        const int offsetWidth = widthOf(tableOffset);
        for (uint64_t offset : offsets) putBigEndian(out, offset, offsetWidth);
        out.insert(out.end(), 6, 0);
        out.push_back(static_cast<uint8_t>(offsetWidth));
        out.push_back(static_cast<uint8_t>(refWidth));
        putBigEndian(out, objects.size(), 8);
        putBigEndian(out, 0, 8);
        putBigEndian(out, tableOffset, 8);
        return out;
    }

    static int widthOf(uint64_t n) {
        return n <= 0xFF ? 1 : n <= 0xFFFF ? 2 : n <= 0xFFFFFFFF ? 4 : 8;
    }

    static void putBigEndian(std::vector<uint8_t>& out, uint64_t v, int width) {
        for (int i = width - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }

    // Integers up to 32 bits are unsigned; 64 bits are two's complement.
    static void putInteger(std::vector<uint8_t>& out, uint64_t v) {
        const int width = widthOf(v);
        out.push_back(static_cast<uint8_t>(0x10 | (width == 1 ? 0 : width == 2 ? 1 : width == 4 ? 2 : 3)));
        putBigEndian(out, v, width);
    }

    static void putCount(std::vector<uint8_t>& out, uint8_t marker, uint64_t n) {
        if (n < 15) {
            out.push_back(static_cast<uint8_t>(marker | n));
        } else {
            out.push_back(static_cast<uint8_t>(marker | 0x0F));
            putInteger(out, n);
        }
    }

    static void putDouble(std::vector<uint8_t>& out, uint8_t marker, double d) {
        uint64_t bits;
        std::memcpy(&bits, &d, sizeof bits);
        out.push_back(marker);
        putBigEndian(out, bits, 8);
    }

    static void putLeaf(std::vector<uint8_t>& out, const Value& value) {
        switch (value.type()) {
            case Value::Type::Bool:
                out.push_back(*value.asBool() ? 0x09 : 0x08);
                break;
            case Value::Type::Integer:
                putInteger(out, static_cast<uint64_t>(*value.asInteger()));
                break;
            case Value::Type::Real:
                putDouble(out, 0x23, *value.asReal());
                break;
            case Value::Type::Date:
                putDouble(out, 0x33, value.asDate()->secondsSinceReferenceDate);
                break;
            case Value::Type::Data: {
                const Value::Data& data = *value.asData();
                putCount(out, 0x40, data.size());
                out.insert(out.end(), data.begin(), data.end());
                break;
            }
            case Value::Type::String:
                putString(out, *value.asString());
                break;
            case Value::Type::Uid: {
                const uint64_t u = value.asUid()->value;
                const int width = widthOf(u);
                out.push_back(static_cast<uint8_t>(0x80 | (width - 1)));
                putBigEndian(out, u, width);
                break;
            }
            default:
                break;  // refused when added
        }
    }

    // ASCII as it is, anything else as UTF-16BE (the text is valid UTF-8).
    static void putString(std::vector<uint8_t>& out, const std::string& s) {
        if (std::all_of(s.begin(), s.end(), [](char c) { return (c & 0x80) == 0; })) {
            putCount(out, 0x50, s.size());
            out.insert(out.end(), s.begin(), s.end());
            return;
        }
        std::vector<uint16_t> units;
        units.reserve(s.size());
        for (size_t i = 0; i < s.size();) {
            const auto b = static_cast<unsigned char>(s[i]);
            const int length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
            uint32_t cp = length == 1 ? b : b & (0x7F >> length);
            for (int k = 1; k < length; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
            i += length;
            if (cp >= 0x10000) {
                cp -= 0x10000;
                units.push_back(static_cast<uint16_t>(0xD800 | (cp >> 10)));
                units.push_back(static_cast<uint16_t>(0xDC00 | (cp & 0x3FF)));
            } else {
                units.push_back(static_cast<uint16_t>(cp));
            }
        }
        putCount(out, 0x60, units.size());
        for (uint16_t u : units) putBigEndian(out, u, 2);
    }
};


std::optional<Value> parse(const uint8_t* data, size_t size, std::string* error) {
    bool xml = false;
    Plist root = parseTree(data, size, &xml, error);
    if (!root) return std::nullopt;
    Value value;
    if (!toValue(root.get(), 0, value, ReadContext{xml, error})) return std::nullopt;
    return value;
}

std::optional<Value> parse(const std::vector<uint8_t>& bytes, std::string* error) {
    return parse(bytes.data(), bytes.size(), error);
}

std::optional<Value> readFile(const std::string& path, std::string* error) {
    std::optional<std::vector<uint8_t>> bytes = platform::readFile(path, error);
    if (!bytes) return std::nullopt;
    std::string why;
    std::optional<Value> value = parse(*bytes, &why);
    if (!value) setError(error, path + ": " + why);
    return value;
}

std::optional<std::vector<uint8_t>> serialize(const Value& value, Format format,
                                              std::string* error) {
    if (format == Format::Binary) {
        Builder::Table table(format);
        if (!table.add(value, 0, error)) return std::nullopt;
        return table.writeBinary();
    }
    Plist root = toPlist(value, format, 0, error);
    if (!root) return std::nullopt;
    return write(root.get(), format, error);
}

bool writeFile(const std::string& path, const Value& value, Format format, std::string* error) {
    std::optional<std::vector<uint8_t>> bytes = serialize(value, format, error);
    return bytes && writeFileAtomically(path, *bytes, error);
}

// ---------------------------------------------------------------------------
// Builder. Containers are attached to their parent as soon as they exist.

Builder::Builder(Format format) : table_(std::make_unique<Table>(format)) {
    uint32_t index;
    top_ = table_->newContainer(false, 0, &index);
}

Builder::~Builder() = default;

bool Builder::attach(Container* parent, const std::string* key, uint32_t child) {
    if (parent->array != !key) {
        setError(&error_, key ? "a property list member needs a dictionary"
                              : "a property list element needs an array");
        return false;
    }
    if (!key) {
        parent->values.push_back(child);
        return true;
    }
    auto k = table_->addString(*key, "key", &error_);
    if (!k) return false;
    // Strings are stored once, so equal keys have equal indices.
    auto it = std::find(parent->keys.begin(), parent->keys.end(), *k);
    if (it != parent->keys.end()) {
        parent->values[static_cast<size_t>(it - parent->keys.begin())] = child;
    } else {
        parent->keys.push_back(*k);
        parent->values.push_back(child);
    }
    return true;
}

Builder::Container* Builder::attachContainer(Container* parent, const std::string* key,
                                             bool array) {
    if (failed() || !parent) return nullptr;
    if (parent->depth >= kMaxDepth) {
        setError(&error_, "value nested too deeply for a property list");
        return nullptr;
    }
    uint32_t index;
    Container* child = table_->newContainer(array, parent->depth + 1, &index);
    return attach(parent, key, index) ? child : nullptr;
}

void Builder::attachValue(Container* parent, const std::string* key, const Value& value) {
    if (failed() || !parent) return;
    if (auto index = table_->add(value, parent->depth + 1, &error_)) attach(parent, key, *index);
}

Builder::Container* Builder::addArray(Container* dictionary, const std::string& key) {
    return attachContainer(dictionary, &key, true);
}

Builder::Container* Builder::addDictionary(Container* dictionary, const std::string& key) {
    return attachContainer(dictionary, &key, false);
}

Builder::Container* Builder::appendArray(Container* array) {
    return attachContainer(array, nullptr, true);
}

Builder::Container* Builder::appendDictionary(Container* array) {
    return attachContainer(array, nullptr, false);
}

void Builder::add(Container* dictionary, const std::string& key, const Value& value) {
    attachValue(dictionary, &key, value);
}

void Builder::append(Container* array, const Value& value) {
    attachValue(array, nullptr, value);
}

std::optional<std::vector<uint8_t>> Builder::result(std::string* error) const {
    if (failed()) {
        setError(error, error_);
        return std::nullopt;
    }
    if (table_->format == Format::Binary) return table_->writeBinary();
    return serialize(table_->toValue(0), Format::Xml, error);
}

// ---------------------------------------------------------------------------
// Document. Nodes are libplist's; types and values follow toValue.

std::optional<Document> Document::parse(const std::vector<uint8_t>& bytes, std::string* error) {
    bool xml = false;
    Plist root = parseTree(bytes.data(), bytes.size(), &xml, error);
    if (!root) return std::nullopt;
    return Document(root.release(), xml);
}

Document::Document(void* root, bool xml) : root_(static_cast<Node*>(root)), xml_(xml) {}

Document::Document(Document&& other) noexcept : root_(other.root_), xml_(other.xml_) {
    other.root_ = nullptr;
}

Document::~Document() {
    if (root_) plist_free(root_);
}

Value::Type Document::type(const Node* node) const {
    plist_t n = const_cast<Node*>(node);
    switch (plist_get_node_type(n)) {
        case PLIST_BOOLEAN:
            return Value::Type::Bool;
        case PLIST_UINT: {
            uint64_t u = 0;
            plist_get_uint_val(n, &u);
            return u > static_cast<uint64_t>(INT64_MAX) && isUnsigned128(n) ? Value::Type::Real
                                                                            : Value::Type::Integer;
        }
        case PLIST_REAL:
            return Value::Type::Real;
        case PLIST_STRING:
            return Value::Type::String;
        case PLIST_DATE:
            return Value::Type::Date;
        case PLIST_DATA:
            return Value::Type::Data;
        case PLIST_UID:
            return Value::Type::Uid;
        case PLIST_ARRAY:
            return Value::Type::Array;
        case PLIST_DICT: {
            if (!xml_ || plist_dict_get_size(n) != 1) return Value::Type::Dictionary;
            // toValue's rule: a lone "CF$UID" holding an integer that is not negative.
            plist_t uid = plist_dict_get_item(n, "CF$UID");
            const bool integer = plist_get_node_type(uid) == PLIST_UINT;
            uint64_t u = 0;
            if (integer) plist_get_uint_val(uid, &u);
            return integer && u <= static_cast<uint64_t>(INT64_MAX) ? Value::Type::Uid
                                                                    : Value::Type::Dictionary;
        }
        case PLIST_KEY:
        case PLIST_NONE:
            break;
    }
    return Value::Type::Null;
}

const Document::Node* Document::member(const Node* dictionary, const char* key) const {
    plist_t d = const_cast<Node*>(dictionary);
    if (plist_get_node_type(d) != PLIST_DICT) return nullptr;
    return static_cast<const Node*>(plist_dict_get_item(d, key));
}

std::vector<const Document::Node*> Document::elements(const Node* array) const {
    plist_t a = const_cast<Node*>(array);
    std::vector<const Node*> items;
    if (plist_get_node_type(a) != PLIST_ARRAY) return items;
    items.reserve(plist_array_get_size(a));
    plist_array_iter it = nullptr;
    plist_array_new_iter(a, &it);
    std::unique_ptr<void, MallocFree> ownedIter(it);
    for (plist_t item = nullptr;;) {
        plist_array_next_item(a, it, &item);
        if (!item) break;
        items.push_back(static_cast<const Node*>(item));
    }
    return items;
}

std::optional<uint64_t> Document::uid(const Node* node) const {
    if (type(node) != Value::Type::Uid) return std::nullopt;
    uint64_t u = 0;
    if (plist_get_node_type(const_cast<Node*>(node)) == PLIST_UID) {
        plist_get_uid_val(const_cast<Node*>(node), &u);
    } else {
        plist_get_uint_val(const_cast<Node*>(member(node, "CF$UID")), &u);
    }
    return u;
}

std::optional<Value> Document::value(const Node* node, std::string* error) const {
    Value out;
    if (!toValue(const_cast<Node*>(node), 0, out, ReadContext{xml_, error})) return std::nullopt;
    return out;
}

}  // namespace platform::PropertyList
