#include "analytics/wire/TLTBinaryProtocol.h"

#include <cstring>
#include <new>

#include "analytics/support/TallyLog.h"

namespace {

constexpr uint32_t kVersionMask = 0xffff0000;
constexpr uint32_t kVersion1 = 0x80010000;

template <class T>
T fromBigEndian(const uint8_t* b) {
    std::make_unsigned_t<T> v = 0;
    for (size_t i = 0; i < sizeof(T); ++i) v = static_cast<decltype(v)>((v << 8) | b[i]);
    return static_cast<T>(v);
}

template <class T>
void toBigEndian(T value, uint8_t* b) {
    auto v = static_cast<std::make_unsigned_t<T>>(value);
    for (size_t i = sizeof(T); i-- > 0;) {
        b[i] = static_cast<uint8_t>(v & 0xff);
        v = static_cast<decltype(v)>(v >> 8);
    }
}

bool knownType(uint8_t t) {
    switch (t) {
        case TLTTypeBool:
        case TLTTypeByte:
        case TLTTypeDouble:
        case TLTTypeI16:
        case TLTTypeI32:
        case TLTTypeI64:
        case TLTTypeString:
        case TLTTypeStruct:
        case TLTTypeMap:
        case TLTTypeSet:
        case TLTTypeList:
            return true;
        default:
            return false;
    }
}

}  // namespace

void TLTMemoryBuffer::write(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    buffer_.insert(buffer_.end(), p, p + size);
}

void TLTMemoryBuffer::readAll(void* out, size_t size) {
    if (size > remaining()) throw TLTTransportException("Not enough bytes remain in buffer");
    if (size > 0) std::memcpy(out, buffer_.data() + offset_, size);
    offset_ += size;
}

void TLTBinaryProtocol::writeMessageBegin(const std::string& name, TLTMessageType type,
                                          int32_t seqid) {
    if (strictWrite_) {
        writeI32(static_cast<int32_t>(kVersion1 | type));
        writeString(name);
    } else {
        writeString(name);
        writeByte(static_cast<int8_t>(type));
    }
    writeI32(seqid);
}

void TLTBinaryProtocol::writeFieldBegin(TLTType type, int16_t id) {
    writeByte(static_cast<int8_t>(type));
    writeI16(id);
}

void TLTBinaryProtocol::writeMapBegin(TLTType keyType, TLTType valueType, int32_t size) {
    writeByte(static_cast<int8_t>(keyType));
    writeByte(static_cast<int8_t>(valueType));
    writeI32(size);
}

void TLTBinaryProtocol::writeListBegin(TLTType elementType, int32_t size) {
    writeByte(static_cast<int8_t>(elementType));
    writeI32(size);
}

void TLTBinaryProtocol::writeByte(int8_t v) {
    transport_.write(&v, 1);
}

void TLTBinaryProtocol::writeI16(int16_t v) {
    uint8_t b[2];
    toBigEndian(v, b);
    transport_.write(b, sizeof b);
}

void TLTBinaryProtocol::writeI32(int32_t v) {
    uint8_t b[4];
    toBigEndian(v, b);
    transport_.write(b, sizeof b);
}

void TLTBinaryProtocol::writeI64(int64_t v) {
    uint8_t b[8];
    toBigEndian(v, b);
    transport_.write(b, sizeof b);
}

void TLTBinaryProtocol::writeDouble(double v) {
    int64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    writeI64(bits);
}

void TLTBinaryProtocol::writeString(const std::string& v) {
    writeI32(static_cast<int32_t>(v.size()));
    transport_.write(v.data(), v.size());
}

void TLTBinaryProtocol::writeBinary(const std::vector<uint8_t>& v) {
    writeI32(static_cast<int32_t>(v.size()));
    transport_.write(v.data(), v.size());
}

TLTBinaryProtocol::Message TLTBinaryProtocol::readMessageBegin() {
    Message m{};
    const int32_t size = readI32();
    if (size < 0) {
        const auto word = static_cast<uint32_t>(size);
        if ((word & kVersionMask) != kVersion1) {
            throw TLTProtocolException("Bad version in readMessageBegin");
        }
        m.type = static_cast<TLTMessageType>(word & 0xff);
        m.name = readString();
    } else {
        if (strictRead_) {
            throw TLTProtocolException("Missing version in readMessageBegin, old client?");
        }
        checkReadable(size);
        m.name.resize(static_cast<size_t>(size));
        transport_.readAll(m.name.data(), m.name.size());
        m.type = static_cast<TLTMessageType>(readByte());
    }
    m.seqid = readI32();
    return m;
}

TLTBinaryProtocol::Field TLTBinaryProtocol::readFieldBegin() {
    Field f{static_cast<TLTType>(static_cast<uint8_t>(readByte())), 0};
    if (f.type != TLTTypeStop) f.id = readI16();
    return f;
}

TLTBinaryProtocol::Map TLTBinaryProtocol::readMapBegin() {
    Map m{};
    m.keyType = static_cast<TLTType>(static_cast<uint8_t>(readByte()));
    m.valueType = static_cast<TLTType>(static_cast<uint8_t>(readByte()));
    m.size = readSize();
    return m;
}

TLTBinaryProtocol::List TLTBinaryProtocol::readListBegin() {
    List l{};
    l.elementType = static_cast<TLTType>(static_cast<uint8_t>(readByte()));
    l.size = readSize();
    return l;
}

int8_t TLTBinaryProtocol::readByte() {
    int8_t v;
    transport_.readAll(&v, 1);
    return v;
}

int16_t TLTBinaryProtocol::readI16() {
    uint8_t b[2];
    transport_.readAll(b, sizeof b);
    return fromBigEndian<int16_t>(b);
}

int32_t TLTBinaryProtocol::readI32() {
    uint8_t b[4];
    transport_.readAll(b, sizeof b);
    return fromBigEndian<int32_t>(b);
}

int64_t TLTBinaryProtocol::readI64() {
    uint8_t b[8];
    transport_.readAll(b, sizeof b);
    return fromBigEndian<int64_t>(b);
}

double TLTBinaryProtocol::readDouble() {
    const int64_t bits = readI64();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

int32_t TLTBinaryProtocol::readSize() {
    const int32_t size = readI32();
    if (size < 0) throw TLTProtocolException(TLFormat("Negative length: %d", size));
    return size;
}

void TLTBinaryProtocol::checkReadable(int32_t size) {
    if (messageSizeLimit_ > 0 && size > messageSizeLimit_) {
        throw TLTProtocolException(TLFormat(
            "Message too big.  Size limit is: %d Message size is: %d", messageSizeLimit_, size));
    }
    // A length beyond the buffer is refused before anything is allocated for it.
    if (static_cast<size_t>(size) > transport_.remaining()) {
        throw TLTTransportException("Not enough bytes remain in buffer");
    }
}

std::string TLTBinaryProtocol::readString() {
    const int32_t size = readSize();
    checkReadable(size);
    std::string s;
    try {
        s.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        throw TLTProtocolException(
            TLFormat("Unable to allocate memory in %s, size: %i", "readString", size));
    }
    transport_.readAll(s.data(), s.size());
    return s;
}

std::vector<uint8_t> TLTBinaryProtocol::readBinary() {
    const int32_t size = readSize();
    checkReadable(size);
    std::vector<uint8_t> v;
    try {
        v.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        throw TLTProtocolException(TLFormat(
            "Out of memory.  Unable to allocate %d bytes trying to read binary data.", size));
    }
    transport_.readAll(v.data(), v.size());
    return v;
}

void TLTBinaryProtocol::incrementDepth() {
    if (++depth_ > kMaxDepth) {
        depth_ = 0;
        throw TLTProtocolException("Depth limit exceeded");
    }
}

void TLTProtocolUtil::skipType(TLTType type, TLTBinaryProtocol& p) {
    struct Nest {
        TLTBinaryProtocol& p;
        explicit Nest(TLTBinaryProtocol& protocol) : p(protocol) { p.incrementDepth(); }
        ~Nest() { p.decrementDepth(); }
    };
    switch (type) {
        case TLTTypeBool:
        case TLTTypeByte:
            p.readByte();
            return;
        case TLTTypeI16:
            p.readI16();
            return;
        case TLTTypeI32:
            p.readI32();
            return;
        case TLTTypeI64:
        case TLTTypeDouble:
            p.readI64();
            return;
        case TLTTypeString:
            p.readBinary();
            return;
        case TLTTypeStruct: {
            Nest nest(p);
            for (;;) {
                const auto field = p.readFieldBegin();
                if (field.type == TLTTypeStop) return;
                skipType(field.type, p);
            }
        }
        case TLTTypeMap: {
            Nest nest(p);
            const auto map = p.readMapBegin();
            if (map.size > 0 && (!knownType(map.keyType) || !knownType(map.valueType))) break;
            for (int32_t i = 0; i < map.size; ++i) {
                skipType(map.keyType, p);
                skipType(map.valueType, p);
            }
            return;
        }
        case TLTTypeSet:
        case TLTTypeList: {
            Nest nest(p);
            const auto list = p.readListBegin();
            if (list.size > 0 && !knownType(list.elementType)) break;
            for (int32_t i = 0; i < list.size; ++i) skipType(list.elementType, p);
            return;
        }
        default:
            break;
    }
    throw TLTProtocolException(TLFormat("Unknown type %d", static_cast<int>(type)));
}
