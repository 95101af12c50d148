// The SMC value codec on hostile bytes.
//   byte 0: which side (even: decode, odd: encode) and whether a data type is given (bit 1)
//   byte 1: the key's size
//   bytes 2-5: the data type
//   the rest: the key's bytes (decode) or a double, little-endian (encode)
// A decoded value is finite; a value the firmware stored re-encodes to the same bytes; an
// encoded value has the key's size and decodes back to the value, give or take the type's
// precision.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "VentrellaHardware/SMCReadValidationError.h"
#include "VentrellaHardware/SMCValueDecoder.h"
#include "VentrellaHardware/SMCValueEncoder.h"

using namespace ventrella::hardware;

namespace {

// The type the codec reads the bytes as, when it is one it can also write.
std::optional<std::string> writableType(const std::optional<std::string>& dataType,
                                        std::uint32_t size) {
    if (dataType) {
        return *dataType == "flt " || *dataType == "fpe2" ? dataType : std::nullopt;
    }
    if (size == 2) {
        return "fpe2";
    }
    if (size == 4) {
        return "flt ";
    }
    return std::nullopt;
}

void decodeSide(const std::vector<std::uint8_t>& bytes, std::uint32_t size,
                const std::optional<std::string>& dataType) {
    double value = 0;
    try {
        value = SMCValueDecoder::floatValue("Fuzz", bytes, size, dataType);
    } catch (const SMCReadValidationError&) {
        return;
    }
    FUZZ_CHECK(std::isfinite(value));
    const auto type = writableType(dataType, size);
    // Negative values are never written, and negative zero is written as zero.
    if (!type || value < 0 || std::signbit(value)) {
        return;
    }
    const auto encoded = SMCValueEncoder::floatValue(value, "Fuzz", size, type);
    FUZZ_CHECK(std::equal(encoded.begin(), encoded.end(), bytes.begin()));
}

void encodeSide(double value, std::uint32_t size, const std::optional<std::string>& dataType) {
    std::vector<std::uint8_t> bytes;
    try {
        bytes = SMCValueEncoder::floatValue(value, "Fuzz", size, dataType);
    } catch (const SMCReadValidationError&) {
        return;
    }
    FUZZ_CHECK(std::isfinite(value) && value >= 0);
    FUZZ_CHECK(bytes.size() == size);
    const double decoded = SMCValueDecoder::floatValue("Fuzz", bytes, size, dataType);
    const bool fpe2 = dataType ? *dataType == "fpe2" : size == 2;
    const double tolerance = fpe2 ? 0.125 : value * std::ldexp(1.0, -23) + std::ldexp(1.0, -149);
    FUZZ_CHECK(std::fabs(decoded - value) <= tolerance);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6) {
        return 0;
    }
    const bool encode = (data[0] & 1) != 0;
    std::optional<std::string> dataType;
    if ((data[0] & 2) != 0) {
        dataType = std::string(reinterpret_cast<const char*>(data + 2), 4);
    }
    const std::uint32_t keySize = data[1];
    const std::vector<std::uint8_t> rest(data + 6, data + size);
    if (encode) {
        if (rest.size() < sizeof(double)) {
            return 0;
        }
        double value = 0;
        std::memcpy(&value, rest.data(), sizeof value);
        encodeSide(value, keySize, dataType);
    } else {
        decodeSide(rest, keySize, dataType);
    }
    return 0;
}
