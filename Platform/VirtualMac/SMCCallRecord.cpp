#include "Platform/VirtualMac/SMCCallRecord.h"

#include <algorithm>

namespace virtualmac {

namespace {

// The record is in the SMC client's native order, little-endian.
std::uint32_t readLittle32(std::span<const std::uint8_t> raw, std::size_t offset) {
    return static_cast<std::uint32_t>(raw[offset]) |
           static_cast<std::uint32_t>(raw[offset + 1]) << 8 |
           static_cast<std::uint32_t>(raw[offset + 2]) << 16 |
           static_cast<std::uint32_t>(raw[offset + 3]) << 24;
}

void writeLittle32(std::span<std::uint8_t> raw, std::size_t offset, std::uint32_t value) {
    for (std::size_t index = 0; index < 4; ++index) {
        raw[offset + index] = static_cast<std::uint8_t>(value >> (8 * index));
    }
}

}  // namespace

SMCCallRecord SMCCallRecord::decode(std::span<const std::uint8_t, size> raw) {
    SMCCallRecord record;
    record.key = readLittle32(raw, keyOffset);
    record.dataSize = readLittle32(raw, dataSizeOffset);
    record.dataType = readLittle32(raw, dataTypeOffset);
    record.dataAttributes = raw[dataAttributesOffset];
    record.result = raw[resultOffset];
    record.status = raw[statusOffset];
    record.command = raw[commandOffset];
    record.data32 = readLittle32(raw, data32Offset);
    std::copy_n(raw.begin() + bytesOffset, bytesCapacity, record.bytes.begin());
    return record;
}

std::array<std::uint8_t, SMCCallRecord::size> SMCCallRecord::encode() const {
    std::array<std::uint8_t, size> raw{};
    writeLittle32(raw, keyOffset, key);
    writeLittle32(raw, dataSizeOffset, dataSize);
    writeLittle32(raw, dataTypeOffset, dataType);
    raw[dataAttributesOffset] = dataAttributes;
    raw[resultOffset] = result;
    raw[statusOffset] = status;
    raw[commandOffset] = command;
    writeLittle32(raw, data32Offset, data32);
    std::copy(bytes.begin(), bytes.end(), raw.begin() + bytesOffset);
    return raw;
}

std::uint32_t smcCode(const std::string& text) {
    std::uint32_t code = 0;
    for (std::size_t index = 0; index < 4; ++index) {
        const auto byte = index < text.size() ? static_cast<std::uint8_t>(text[index]) : 0;
        code = (code << 8) | byte;
    }
    return code;
}

std::string smcText(std::uint32_t code) {
    std::string text(4, '\0');
    for (std::size_t index = 0; index < 4; ++index) {
        text[index] = static_cast<char>((code >> (8 * (3 - index))) & 0xff);
    }
    return text;
}

}  // namespace virtualmac
