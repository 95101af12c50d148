#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace ventrella::hardware {

// Validation failure of the hardware readers and of the value codec. Its text reaches the user
// unchanged (helper replies, preflight reason), so every case has one fixed English wording.
class SMCReadValidationError : public std::exception {
  public:
    enum class Case {
        emptyValue,
        invalidSize,
        unsupportedDataType,
        valueCannotBeEncoded,
        invalidFanCount,
        invalidMode,
        invalidManualMask,
        nonFiniteValue,
        valueOutsidePlausibleRange,
        noFans,
        noControlMechanism,
    };

    static SMCReadValidationError emptyValue(std::string key);
    static SMCReadValidationError invalidSize(std::string key, std::uint32_t size,
                                              std::int64_t byteCount);
    static SMCReadValidationError unsupportedDataType(std::string key, std::string dataType);
    static SMCReadValidationError valueCannotBeEncoded(std::string key, double value,
                                                       std::string dataType);
    static SMCReadValidationError invalidFanCount(std::int64_t count);
    static SMCReadValidationError invalidMode(std::string key, std::uint8_t value);
    static SMCReadValidationError invalidManualMask(std::string key);
    static SMCReadValidationError nonFiniteValue(std::string key);
    static SMCReadValidationError valueOutsidePlausibleRange(std::string key, double value);
    static SMCReadValidationError noFans();
    static SMCReadValidationError noControlMechanism();

    Case kind() const { return kind_; }
    const std::string& key() const { return key_; }
    std::uint32_t size() const { return size_; }
    // Byte count of invalidSize, fan count of invalidFanCount.
    std::int64_t count() const { return count_; }
    const std::string& dataType() const { return dataType_; }
    double value() const { return value_; }
    std::uint8_t modeValue() const { return modeValue_; }

    const std::string& description() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

    // Same case and same payload (unused payload fields are always at their defaults).
    friend bool operator==(const SMCReadValidationError& lhs, const SMCReadValidationError& rhs);

  private:
    explicit SMCReadValidationError(Case kind);
    void describe();

    Case kind_;
    std::string key_;
    std::uint32_t size_ = 0;
    std::int64_t count_ = 0;
    std::string dataType_;
    double value_ = 0;
    std::uint8_t modeValue_ = 0;
    std::string description_;
};

// A double as its shortest round-trip text in ordinary decimal form: "100001.0", "0.25",
// "1e+16" for magnitudes where plain digits would run long; "inf", "-inf", "nan".
std::string formatDecimal(double value);

// The text between double quotes with quotes, backslashes and control characters escaped.
std::string quotedText(const std::string& text);

}  // namespace ventrella::hardware
