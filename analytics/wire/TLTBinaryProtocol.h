#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// Thrift's errors, carrying the name the peer's libraries use for them.
class TLTException : public std::runtime_error {
public:
    TLTException(std::string name, const std::string& reason)
        : std::runtime_error(reason), name_(std::move(name)) {}
    const std::string& name() const { return name_; }

private:
    std::string name_;
};

class TLTTransportException : public TLTException {
public:
    explicit TLTTransportException(const std::string& reason)
        : TLTException("TTransportException", reason) {}
};

class TLTProtocolException : public TLTException {
public:
    explicit TLTProtocolException(const std::string& reason)
        : TLTException("TProtocolException", reason) {}
};

enum TLTType : uint8_t {
    TLTTypeStop = 0,
    TLTTypeVoid = 1,
    TLTTypeBool = 2,
    TLTTypeByte = 3,
    TLTTypeDouble = 4,
    TLTTypeI16 = 6,
    TLTTypeI32 = 8,
    TLTTypeI64 = 10,
    TLTTypeString = 11,
    TLTTypeStruct = 12,
    TLTTypeMap = 13,
    TLTTypeSet = 14,
    TLTTypeList = 15,
};

enum TLTMessageType : uint8_t { TLTMessageCall = 1, TLTMessageReply = 2, TLTMessageException = 3 };

// The transport: bytes written are appended, reads consume from the front.
class TLTMemoryBuffer {
public:
    TLTMemoryBuffer() = default;
    explicit TLTMemoryBuffer(std::vector<uint8_t> data) : buffer_(std::move(data)) {}
    TLTMemoryBuffer(const void* data, size_t size)
        : buffer_(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size) {}

    void write(const void* data, size_t size);
    // Throws TLTTransportException when fewer than `size` bytes remain.
    void readAll(void* out, size_t size);
    size_t remaining() const { return buffer_.size() - offset_; }
    const std::vector<uint8_t>& getBuffer() const { return buffer_; }

private:
    std::vector<uint8_t> buffer_;
    size_t offset_ = 0;
};

// Thrift's binary protocol. Strict write puts the version word in front of
// messages; non-strict read also accepts messages without it.
class TLTBinaryProtocol {
public:
    static constexpr int kMaxDepth = 64;

    explicit TLTBinaryProtocol(TLTMemoryBuffer& transport, bool strictRead = false,
                               bool strictWrite = true)
        : transport_(transport), strictRead_(strictRead), strictWrite_(strictWrite) {}

    // Largest string or binary a read accepts; 0 means no limit beyond the
    // bytes the buffer holds.
    void setMessageSizeLimit(int32_t limit) { messageSizeLimit_ = limit; }

    TLTMemoryBuffer& transport() { return transport_; }

    void writeMessageBegin(const std::string& name, TLTMessageType type, int32_t seqid);
    void writeFieldBegin(TLTType type, int16_t id);
    void writeFieldStop() { writeByte(TLTTypeStop); }
    void writeMapBegin(TLTType keyType, TLTType valueType, int32_t size);
    void writeListBegin(TLTType elementType, int32_t size);
    void writeSetBegin(TLTType elementType, int32_t size) { writeListBegin(elementType, size); }
    void writeBool(bool v) { writeByte(v ? 1 : 0); }
    void writeByte(int8_t v);
    void writeI16(int16_t v);
    void writeI32(int32_t v);
    void writeI64(int64_t v);
    void writeDouble(double v);
    void writeString(const std::string& v);
    void writeBinary(const std::vector<uint8_t>& v);

    struct Message {
        std::string name;
        TLTMessageType type;
        int32_t seqid;
    };
    struct Field {
        TLTType type;
        int16_t id;
    };
    struct Map {
        TLTType keyType;
        TLTType valueType;
        int32_t size;
    };
    struct List {
        TLTType elementType;
        int32_t size;
    };

    Message readMessageBegin();
    Field readFieldBegin();  // type TLTTypeStop ends the struct
    Map readMapBegin();
    List readListBegin();
    List readSetBegin() { return readListBegin(); }
    bool readBool() { return readByte() != 0; }
    int8_t readByte();
    int16_t readI16();
    int32_t readI32();
    int64_t readI64();
    double readDouble();
    std::string readString();
    std::vector<uint8_t> readBinary();

    // Nesting guard for structures read from the outside.
    void incrementDepth();
    void decrementDepth() { --depth_; }

private:
    int32_t readSize();
    void checkReadable(int32_t size);

    TLTMemoryBuffer& transport_;
    bool strictRead_;
    bool strictWrite_;
    int32_t messageSizeLimit_ = 0;
    int depth_ = 0;
};

class TLTProtocolUtil {
public:
    // Reads past one value of `type`, however deeply it nests.
    static void skipType(TLTType type, TLTBinaryProtocol& protocol);
};
