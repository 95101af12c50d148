#include "VentrellaHardware/SMCReadValidationError.h"

#include <charconv>
#include <cmath>
#include <system_error>
#include <utility>

namespace ventrella::hardware {

std::string formatDecimal(double value) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-inf" : "inf";
    }
    // Plain digits between 1e-4 and 1e16, exponent form outside, as numbers are usually shown.
    double magnitude = std::fabs(value);
    bool plain = magnitude == 0 || (magnitude >= 1e-4 && magnitude < 1e16);
    char buffer[400];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                plain ? std::chars_format::fixed : std::chars_format::scientific);
    std::string text(buffer, result.ptr);
    if (text.find_first_of(".e") == std::string::npos) {
        text += ".0";
    }
    return text;
}

std::string quotedText(const std::string& text) {
    static constexpr char hexDigits[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\0':
                out += "\\0";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    out += "\\u{";
                    if (byte >= 0x10) {
                        out += hexDigits[byte >> 4];
                    }
                    out += hexDigits[byte & 0xF];
                    out += "}";
                } else {
                    out += c;
                }
        }
    }
    out += "\"";
    return out;
}

SMCReadValidationError::SMCReadValidationError(Case kind) : kind_(kind) {}

SMCReadValidationError SMCReadValidationError::emptyValue(std::string key) {
    SMCReadValidationError error(Case::emptyValue);
    error.key_ = std::move(key);
    error.describe();
    return error;
}

SMCReadValidationError SMCReadValidationError::invalidSize(std::string key, std::uint32_t size,
                                                           std::int64_t byteCount) {
    SMCReadValidationError error(Case::invalidSize);
    error.key_ = std::move(key);
    error.size_ = size;
    error.count_ = byteCount;
    error.describe();
    return error;
}

SMCReadValidationError SMCReadValidationError::unsupportedDataType(std::string key,
                                                                   std::string dataType) {
    SMCReadValidationError error(Case::unsupportedDataType);
    error.key_ = std::move(key);
    error.dataType_ = std::move(dataType);
    error.describe();
    return error;
}

SMCReadValidationError SMCReadValidationError::valueCannotBeEncoded(std::string key, double value,
                                                                    std::string dataType) {
    SMCReadValidationError error(Case::valueCannotBeEncoded);
    error.key_ = std::move(key);
    error.value_ = value;
    error.dataType_ = std::move(dataType);
    error.describe();
    return error;
}

SMCReadValidationError SMCReadValidationError::invalidFanCount(std::int64_t count) {
    SMCReadValidationError error(Case::invalidFanCount);
    error.count_ = count;
    error.describe();
    return error;
}

SMCReadValidationError SMCReadValidationError::invalidMode(std::string key, std::uint8_t value) {
    SMCReadValidationError error(Case::invalidMode);
    error.key_ = std::move(key);
    error.modeValue_ = value;
    error.describe();
    return error;
}

SMCReadValidationError SMCReadValidationError::invalidManualMask(std::string key) {
    SMCReadValidationError error(Case::invalidManualMask);
    error.key_ = std::move(key);
    error.describe();
    return error;
}

SMCReadValidationError SMCReadValidationError::nonFiniteValue(std::string key) {
    SMCReadValidationError error(Case::nonFiniteValue);
    error.key_ = std::move(key);
    error.describe();
    return error;
}

SMCReadValidationError SMCReadValidationError::valueOutsidePlausibleRange(std::string key,
                                                                          double value) {
    SMCReadValidationError error(Case::valueOutsidePlausibleRange);
    error.key_ = std::move(key);
    error.value_ = value;
    error.describe();
    return error;
}

SMCReadValidationError SMCReadValidationError::noFans() {
    SMCReadValidationError error(Case::noFans);
    error.describe();
    return error;
}

SMCReadValidationError SMCReadValidationError::noControlMechanism() {
    SMCReadValidationError error(Case::noControlMechanism);
    error.describe();
    return error;
}

void SMCReadValidationError::describe() {
    switch (kind_) {
        case Case::emptyValue:
            description_ = "The SMC value for " + key_ + " is empty.";
            break;
        case Case::invalidSize:
            description_ = "Invalid SMC size for " + key_ + ": " + std::to_string(size_) + "/" +
                           std::to_string(count_) + ".";
            break;
        case Case::unsupportedDataType:
            description_ =
                "Unsupported SMC data type for " + key_ + ": " + quotedText(dataType_) + ".";
            break;
        case Case::valueCannotBeEncoded:
            description_ = "The value " + formatDecimal(value_) + " cannot be encoded as " +
                           quotedText(dataType_) + " for " + key_ + ".";
            break;
        case Case::invalidFanCount:
            description_ = "Invalid fan count: " + std::to_string(count_) + ".";
            break;
        case Case::invalidMode:
            description_ = "Invalid fan mode for " + key_ + ": " + std::to_string(modeValue_) + ".";
            break;
        case Case::invalidManualMask:
            description_ = "The manual fan mask " + key_ + " is invalid.";
            break;
        case Case::nonFiniteValue:
            description_ = "The SMC value for " + key_ + " is not finite.";
            break;
        case Case::valueOutsidePlausibleRange:
            description_ = "The SMC value for " + key_ +
                           " is outside the plausible range: " + formatDecimal(value_) + ".";
            break;
        case Case::noFans:
            description_ = "No controllable fan was found.";
            break;
        case Case::noControlMechanism:
            description_ = "No verified SMC fan-control mode mechanism was found.";
            break;
    }
}

bool operator==(const SMCReadValidationError& lhs, const SMCReadValidationError& rhs) {
    return lhs.kind_ == rhs.kind_ && lhs.key_ == rhs.key_ && lhs.size_ == rhs.size_ &&
           lhs.count_ == rhs.count_ && lhs.dataType_ == rhs.dataType_ && lhs.value_ == rhs.value_ &&
           lhs.modeValue_ == rhs.modeValue_;
}

}  // namespace ventrella::hardware
