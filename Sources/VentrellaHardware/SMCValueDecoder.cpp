#include "VentrellaHardware/SMCValueDecoder.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "VentrellaHardware/SMCReadValidationError.h"

namespace ventrella::hardware {

namespace {

std::uint16_t bigEndian16(const std::vector<std::uint8_t>& bytes) {
    return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

double signedFixedPoint(const std::vector<std::uint8_t>& bytes, int fractionBits) {
    auto raw = static_cast<std::int16_t>(bigEndian16(bytes));
    return std::ldexp(static_cast<double>(raw), -fractionBits);
}

// The SMC stores "flt " in its native little-endian order.
double littleEndianFloat(const std::vector<std::uint8_t>& bytes) {
    std::uint32_t raw =
        static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
        (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
    return static_cast<double>(std::bit_cast<float>(raw));
}

struct DataTypeEntry {
    const char* name;
    std::uint32_t size;
    double (*decode)(const std::vector<std::uint8_t>&);
};

constexpr DataTypeEntry dataTypes[] = {
    {"flt ", 4, littleEndianFloat},
    {"fpe2", 2, [](const auto& b) { return bigEndian16(b) * 0.25; }},
    {"ui8 ", 1, [](const auto& b) { return static_cast<double>(b[0]); }},
    {"ui16", 2, [](const auto& b) { return static_cast<double>(bigEndian16(b)); }},
    {"ui32", 4,
     [](const auto& b) {
         return static_cast<double>((static_cast<std::uint32_t>(b[0]) << 24) |
                                    (static_cast<std::uint32_t>(b[1]) << 16) |
                                    (static_cast<std::uint32_t>(b[2]) << 8) | b[3]);
     }},
    {"sp1e", 2, [](const auto& b) { return signedFixedPoint(b, 14); }},
    {"sp3c", 2, [](const auto& b) { return signedFixedPoint(b, 12); }},
    {"sp4b", 2, [](const auto& b) { return signedFixedPoint(b, 11); }},
    {"sp5a", 2, [](const auto& b) { return signedFixedPoint(b, 10); }},
    {"sp69", 2, [](const auto& b) { return signedFixedPoint(b, 9); }},
    {"sp78", 2, [](const auto& b) { return signedFixedPoint(b, 8); }},
    {"sp87", 2, [](const auto& b) { return signedFixedPoint(b, 7); }},
    {"sp96", 2, [](const auto& b) { return signedFixedPoint(b, 6); }},
    {"spa5", 2, [](const auto& b) { return signedFixedPoint(b, 5); }},
    {"spb4", 2, [](const auto& b) { return signedFixedPoint(b, 4); }},
    {"spf0", 2, [](const auto& b) { return signedFixedPoint(b, 0); }},
};

const DataTypeEntry* findDataType(const std::string& name) {
    for (const auto& entry : dataTypes) {
        if (name == entry.name) {
            return &entry;
        }
    }
    return nullptr;
}

}  // namespace

double SMCValueDecoder::floatValue(const std::string& key, const std::vector<std::uint8_t>& bytes,
                                   std::uint32_t size, const std::optional<std::string>& dataType) {
    auto invalidSize = [&] {
        return SMCReadValidationError::invalidSize(key, size,
                                                   static_cast<std::int64_t>(bytes.size()));
    };
    if (size < 1 || size > 32 || bytes.size() < size) {
        throw invalidSize();
    }
    const DataTypeEntry* entry = nullptr;
    if (dataType) {
        entry = findDataType(*dataType);
        if (entry == nullptr) {
            throw SMCReadValidationError::unsupportedDataType(key, *dataType);
        }
    } else if (size == 2 || size == 4) {
        entry = findDataType(size == 2 ? "fpe2" : "flt ");
    }
    if (entry == nullptr || entry->size != size) {
        throw invalidSize();
    }
    double value = entry->decode(bytes);
    if (!std::isfinite(value)) {
        throw SMCReadValidationError::nonFiniteValue(key);
    }
    return value;
}

}  // namespace ventrella::hardware
