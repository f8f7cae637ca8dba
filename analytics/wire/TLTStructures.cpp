#include "analytics/wire/TLTStructures.h"

#include <strings.h>
#include <algorithm>

#include "analytics/device/TLANUtil.h"
#include "analytics/support/TallyLog.h"

namespace {

void require(bool isSet, const char* field) {
    if (!isSet) throw TLTProtocolException(TLFormat("Required field '%s' is not set.", field));
}

// Describing values the way the structures print them.
std::string describe(const std::string& s) {
    return "\"" + s + "\"";
}
std::string describe(int32_t v) {
    return std::to_string(v);
}
std::string describe(int64_t v) {
    return std::to_string(v);
}
std::string describe(const std::vector<uint8_t>& v) {
    std::string text = "<";
    text += TLANUtil::hexString(v);
    text += ">";
    return text;
}
template <class T>
auto describe(const T& v) -> decltype(v.description()) {
    return v.description();
}
template <class T>
std::string describe(const std::map<std::string, T>& m) {
    std::string out = "{";
    for (const auto& [k, v] : m) {
        if (out.size() > 1) out += ", ";
        out += describe(k) + ":" + describe(v);
    }
    return out + "}";
}
template <class T>
std::string describe(const std::vector<T>& list) {
    std::string out = "[";
    for (const auto& v : list) {
        if (out.size() > 1) out += ", ";
        out += describe(v);
    }
    return out + "]";
}

class Description {
public:
    explicit Description(const char* name) : text_(std::string(name) + "(") {}
    template <class T>
    Description& add(const char* field, const T& value) {
        if (!first_) text_ += ",";
        first_ = false;
        text_ += std::string(field) + ":" + describe(value);
        return *this;
    }
    std::string str() const { return text_ + ")"; }

private:
    std::string text_;
    bool first_ = true;
};

// One field read: true when the wire type is the expected one (otherwise
// the caller skips it).
bool matches(const TLTBinaryProtocol::Field& f, TLTType expected) {
    return f.type == expected;
}

struct Nest {
    TLTBinaryProtocol& p;
    explicit Nest(TLTBinaryProtocol& protocol) : p(protocol) { p.incrementDepth(); }
    ~Nest() { p.decrementDepth(); }
};

// Reads fields until the stop marker; `field` handles one and returns false
// for an id or type it does not know, which is then skipped.
template <class F>
void readFields(TLTBinaryProtocol& in, F&& field) {
    Nest nest(in);
    for (;;) {
        const auto f = in.readFieldBegin();
        if (f.type == TLTTypeStop) return;
        if (!field(f)) TLTProtocolUtil::skipType(f.type, in);
    }
}

}  // namespace

// TLEnvelope

void TLEnvelope::validate() const {
    require(versionIsSet_, "version");
    require(addressIsSet_, "address");
    require(signatureIsSet_, "signature");
    require(serial_numIsSet_, "serial_num");
    require(ts_secsIsSet_, "ts_secs");
    require(lengthIsSet_, "length");
    require(entityIsSet_, "entity");
    require(guidIsSet_, "guid");
    require(checksumIsSet_, "checksum");
}

void TLEnvelope::write(TLTBinaryProtocol& out) const {
    validate();
    out.writeFieldBegin(TLTTypeString, 1);
    out.writeString(version_);
    out.writeFieldBegin(TLTTypeString, 2);
    out.writeString(address_);
    out.writeFieldBegin(TLTTypeString, 3);
    out.writeString(signature_);
    out.writeFieldBegin(TLTTypeI32, 4);
    out.writeI32(serial_num_);
    out.writeFieldBegin(TLTTypeI32, 5);
    out.writeI32(ts_secs_);
    out.writeFieldBegin(TLTTypeI32, 6);
    out.writeI32(length_);
    out.writeFieldBegin(TLTTypeString, 7);
    out.writeBinary(entity_);
    out.writeFieldBegin(TLTTypeString, 8);
    out.writeString(guid_);
    out.writeFieldBegin(TLTTypeString, 9);
    out.writeString(checksum_);
    if (codexIsSet_) {
        out.writeFieldBegin(TLTTypeI32, 10);
        out.writeI32(codex_);
    }
    out.writeFieldStop();
}

void TLEnvelope::read(TLTBinaryProtocol& in) {
    *this = {};
    readFields(in, [&](const TLTBinaryProtocol::Field& f) {
        switch (f.id) {
            case 1:
                if (!matches(f, TLTTypeString)) return false;
                set_version(in.readString());
                return true;
            case 2:
                if (!matches(f, TLTTypeString)) return false;
                set_address(in.readString());
                return true;
            case 3:
                if (!matches(f, TLTTypeString)) return false;
                set_signature(in.readString());
                return true;
            case 4:
                if (!matches(f, TLTTypeI32)) return false;
                set_serial_num(in.readI32());
                return true;
            case 5:
                if (!matches(f, TLTTypeI32)) return false;
                set_ts_secs(in.readI32());
                return true;
            case 6:
                if (!matches(f, TLTTypeI32)) return false;
                set_length(in.readI32());
                return true;
            case 7:
                if (!matches(f, TLTTypeString)) return false;
                set_entity(in.readBinary());
                return true;
            case 8:
                if (!matches(f, TLTTypeString)) return false;
                set_guid(in.readString());
                return true;
            case 9:
                if (!matches(f, TLTTypeString)) return false;
                set_checksum(in.readString());
                return true;
            case 10:
                if (!matches(f, TLTTypeI32)) return false;
                set_codex(in.readI32());
                return true;
            default:
                return false;
        }
    });
    validate();
}

std::string TLEnvelope::description() const {
    return Description("TLEnvelope")
        .add("version", version_)
        .add("address", address_)
        .add("signature", signature_)
        .add("serial_num", serial_num_)
        .add("ts_secs", ts_secs_)
        .add("length", length_)
        .add("entity", entity_)
        .add("guid", guid_)
        .add("checksum", checksum_)
        .add("codex", codex_)
        .str();
}

// TLTIdSnapshot

void TLTIdSnapshot::validate() const {
    require(identityIsSet_, "identity");
    require(tsIsSet_, "ts");
    require(versionIsSet_, "version");
}

void TLTIdSnapshot::write(TLTBinaryProtocol& out) const {
    validate();
    out.writeFieldBegin(TLTTypeString, 1);
    out.writeString(identity_);
    out.writeFieldBegin(TLTTypeI64, 2);
    out.writeI64(ts_);
    out.writeFieldBegin(TLTTypeI32, 3);
    out.writeI32(version_);
    out.writeFieldStop();
}

void TLTIdSnapshot::read(TLTBinaryProtocol& in) {
    *this = {};
    readFields(in, [&](const TLTBinaryProtocol::Field& f) {
        if (f.id == 1 && matches(f, TLTTypeString)) {
            set_identity(in.readString());
        } else if (f.id == 2 && matches(f, TLTTypeI64)) {
            set_ts(in.readI64());
        } else if (f.id == 3 && matches(f, TLTTypeI32)) {
            set_version(in.readI32());
        } else {
            return false;
        }
        return true;
    });
    validate();
}

std::string TLTIdSnapshot::description() const {
    return Description("IdSnapshot")
        .add("identity", identity_)
        .add("ts", ts_)
        .add("version", version_)
        .str();
}

// TLTIdJournal

void TLTIdJournal::validate() const {
    require(domainIsSet_, "domain");
    require(new_idIsSet_, "new_id");
    require(tsIsSet_, "ts");
}

void TLTIdJournal::write(TLTBinaryProtocol& out) const {
    validate();
    out.writeFieldBegin(TLTTypeString, 1);
    out.writeString(domain_);
    if (old_idIsSet_) {
        out.writeFieldBegin(TLTTypeString, 2);
        out.writeString(old_id_);
    }
    out.writeFieldBegin(TLTTypeString, 3);
    out.writeString(new_id_);
    out.writeFieldBegin(TLTTypeI64, 4);
    out.writeI64(ts_);
    out.writeFieldStop();
}

void TLTIdJournal::read(TLTBinaryProtocol& in) {
    *this = {};
    readFields(in, [&](const TLTBinaryProtocol::Field& f) {
        if (f.id == 1 && matches(f, TLTTypeString)) {
            set_domain(in.readString());
        } else if (f.id == 2 && matches(f, TLTTypeString)) {
            set_old_id(in.readString());
        } else if (f.id == 3 && matches(f, TLTTypeString)) {
            set_new_id(in.readString());
        } else if (f.id == 4 && matches(f, TLTTypeI64)) {
            set_ts(in.readI64());
        } else {
            return false;
        }
        return true;
    });
    validate();
}

std::string TLTIdJournal::description() const {
    return Description("IdJournal")
        .add("domain", domain_)
        .add("old_id", old_id_)
        .add("new_id", new_id_)
        .add("ts", ts_)
        .str();
}

// TLTIdTracking

void TLTIdTracking::validate() const {
    require(snapshotsIsSet_, "snapshots");
}

void TLTIdTracking::write(TLTBinaryProtocol& out) const {
    validate();
    out.writeFieldBegin(TLTTypeMap, 1);
    out.writeMapBegin(TLTTypeString, TLTTypeStruct, static_cast<int32_t>(snapshots_.size()));
    for (const auto& [k, v] : snapshots_) {
        out.writeString(k);
        v.write(out);
    }
    if (journalsIsSet_) {
        out.writeFieldBegin(TLTTypeList, 2);
        out.writeListBegin(TLTTypeStruct, static_cast<int32_t>(journals_.size()));
        for (const auto& j : journals_) j.write(out);
    }
    if (checksumIsSet_) {
        out.writeFieldBegin(TLTTypeString, 3);
        out.writeString(checksum_);
    }
    out.writeFieldStop();
}

void TLTIdTracking::read(TLTBinaryProtocol& in) {
    *this = {};
    readFields(in, [&](const TLTBinaryProtocol::Field& f) {
        if (f.id == 1 && matches(f, TLTTypeMap)) {
            const auto map = in.readMapBegin();
            if (map.keyType != TLTTypeString || map.valueType != TLTTypeStruct) {
                if (map.size == 0) return true;
                throw TLTProtocolException("Unexpected map types for snapshots");
            }
            Snapshots snapshots;
            for (int32_t i = 0; i < map.size; ++i) {
                std::string key = in.readString();
                snapshots[key].read(in);
            }
            set_snapshots(std::move(snapshots));
        } else if (f.id == 2 && matches(f, TLTTypeList)) {
            const auto list = in.readListBegin();
            if (list.elementType != TLTTypeStruct && list.size > 0) {
                throw TLTProtocolException("Unexpected list type for journals");
            }
            Journals journals;
            for (int32_t i = 0; i < list.size; ++i) journals.emplace_back().read(in);
            set_journals(std::move(journals));
        } else if (f.id == 3 && matches(f, TLTTypeString)) {
            set_checksum(in.readString());
        } else {
            return false;
        }
        return true;
    });
    validate();
}

std::string TLTIdTracking::description() const {
    return Description("IdTracking")
        .add("snapshots", snapshots_)
        .add("journals", journals_)
        .add("checksum", checksum_)
        .str();
}

// TLTImprintValue

void TLTImprintValue::validate() const {
    require(tsIsSet_, "ts");
    require(guidIsSet_, "guid");
}

void TLTImprintValue::write(TLTBinaryProtocol& out) const {
    validate();
    if (valueIsSet_) {
        out.writeFieldBegin(TLTTypeString, 1);
        out.writeString(value_);
    }
    out.writeFieldBegin(TLTTypeI64, 2);
    out.writeI64(ts_);
    out.writeFieldBegin(TLTTypeString, 3);
    out.writeString(guid_);
    out.writeFieldStop();
}

void TLTImprintValue::read(TLTBinaryProtocol& in) {
    *this = {};
    readFields(in, [&](const TLTBinaryProtocol::Field& f) {
        if (f.id == 1 && matches(f, TLTTypeString)) {
            set_value(in.readString());
        } else if (f.id == 2 && matches(f, TLTTypeI64)) {
            set_ts(in.readI64());
        } else if (f.id == 3 && matches(f, TLTTypeString)) {
            set_guid(in.readString());
        } else {
            return false;
        }
        return true;
    });
    validate();
}

std::string TLTImprintValue::description() const {
    return Description("ImprintValue").add("value", value_).add("ts", ts_).add("guid", guid_).str();
}

// TLTImprint

void TLTImprint::validate() const {
    require(propertyIsSet_, "property");
    require(versionIsSet_, "version");
    require(checksumIsSet_, "checksum");
}

void TLTImprint::write(TLTBinaryProtocol& out) const {
    validate();
    out.writeFieldBegin(TLTTypeMap, 1);
    out.writeMapBegin(TLTTypeString, TLTTypeStruct, static_cast<int32_t>(property_.size()));
    for (const auto& [k, v] : property_) {
        out.writeString(k);
        v.write(out);
    }
    out.writeFieldBegin(TLTTypeI32, 2);
    out.writeI32(version_);
    out.writeFieldBegin(TLTTypeString, 3);
    out.writeString(checksum_);
    out.writeFieldStop();
}

void TLTImprint::read(TLTBinaryProtocol& in) {
    *this = {};
    readFields(in, [&](const TLTBinaryProtocol::Field& f) {
        if (f.id == 1 && matches(f, TLTTypeMap)) {
            const auto map = in.readMapBegin();
            if (map.keyType != TLTTypeString || map.valueType != TLTTypeStruct) {
                if (map.size == 0) return true;
                throw TLTProtocolException("Unexpected map types for property");
            }
            Properties properties;
            for (int32_t i = 0; i < map.size; ++i) {
                std::string key = in.readString();
                properties[key].read(in);
            }
            set_property(std::move(properties));
        } else if (f.id == 2 && matches(f, TLTTypeI32)) {
            set_version(in.readI32());
        } else if (f.id == 3 && matches(f, TLTTypeString)) {
            set_checksum(in.readString());
        } else {
            return false;
        }
        return true;
    });
    validate();
}

std::string TLTImprint::description() const {
    return Description("Imprint")
        .add("property", property_)
        .add("version", version_)
        .add("checksum", checksum_)
        .str();
}

std::string TLTImprint::computeChecksum() const {
    std::vector<const std::string*> keys;
    for (const auto& entry : property_) keys.push_back(&entry.first);
    std::stable_sort(keys.begin(), keys.end(), [](const std::string* a, const std::string* b) {
        return ::strcasecmp(a->c_str(), b->c_str()) < 0;
    });
    std::string text;
    for (const std::string* key : keys) {
        const TLTImprintValue& v = property_.at(*key);
        text += *key;
        if (v.value_isSet()) text += v.value();
        text += std::to_string(v.ts()) + v.guid();
    }
    text += std::to_string(version_);
    return TLANUtil::md5Lower(text);
}

std::optional<std::string> TLTImprint::valueForKey(const std::string& key) const {
    auto it = property_.find(key);
    if (it == property_.end() || !it->second.value_isSet()) return std::nullopt;
    return it->second.value();
}

// TLTResponse

void TLTResponse::validate() const {
    require(resp_codeIsSet_, "resp_code");
}

void TLTResponse::write(TLTBinaryProtocol& out) const {
    validate();
    out.writeFieldBegin(TLTTypeI32, 1);
    out.writeI32(resp_code_);
    if (msgIsSet_) {
        out.writeFieldBegin(TLTTypeString, 2);
        out.writeString(msg_);
    }
    if (imprintIsSet_) {
        out.writeFieldBegin(TLTTypeStruct, 3);
        imprint_.write(out);
    }
    out.writeFieldStop();
}

void TLTResponse::read(TLTBinaryProtocol& in) {
    *this = {};
    readFields(in, [&](const TLTBinaryProtocol::Field& f) {
        if (f.id == 1 && matches(f, TLTTypeI32)) {
            set_resp_code(in.readI32());
        } else if (f.id == 2 && matches(f, TLTTypeString)) {
            set_msg(in.readString());
        } else if (f.id == 3 && matches(f, TLTTypeStruct)) {
            TLTImprint imprint;
            imprint.read(in);
            set_imprint(std::move(imprint));
        } else {
            return false;
        }
        return true;
    });
    validate();
}

std::string TLTResponse::description() const {
    return Description("Response")
        .add("resp_code", resp_code_)
        .add("msg", msg_)
        .add("imprint", imprint_)
        .str();
}
