#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "VentrellaHardware/SMCDataFormat.h"
#include "VentrellaHardware/SMCReadValidationError.h"
#include "VentrellaHardware/SMCValueDecoder.h"
#include "VentrellaHardware/SMCValueEncoder.h"

namespace ventrella::hardware {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Error = SMCReadValidationError;

double decode(const Bytes& bytes, std::optional<std::string> type) {
    return SMCValueDecoder::floatValue("KEY0", bytes, static_cast<std::uint32_t>(bytes.size()),
                                       type);
}

template <typename Call>
Error errorOf(Call call) {
    try {
        call();
    } catch (const Error& error) {
        return error;
    }
    ADD_FAILURE() << "no SMCReadValidationError thrown";
    return Error::noFans();
}

TEST(SMCValueDecoderTests, DecodesEveryKnownType) {
    EXPECT_EQ(decode({0x00, 0x00, 0xFA, 0x44}, "flt "), 2000.0);
    EXPECT_EQ(decode({0x1F, 0x40}, "fpe2"), 2000.0);
    EXPECT_EQ(decode({0x00, 0x03}, "fpe2"), 0.75);
    EXPECT_EQ(decode({0xC8}, "ui8 "), 200.0);
    EXPECT_EQ(decode({0xFF, 0xFE}, "ui16"), 65534.0);
    EXPECT_EQ(decode({0xFF, 0x00, 0x00, 0x01}, "ui32"), 4278190081.0);

    // 0x4000 and 0xC000 are +2^14 and -2^14: each signed type divides by its own power of two.
    const std::pair<const char*, int> signedTypes[] = {
        {"sp1e", 14}, {"sp3c", 12}, {"sp4b", 11}, {"sp5a", 10}, {"sp69", 9}, {"sp78", 8},
        {"sp87", 7},  {"sp96", 6},  {"spa5", 5},  {"spb4", 4},  {"spf0", 0},
    };
    for (const auto& [type, bits] : signedTypes) {
        SCOPED_TRACE(type);
        EXPECT_EQ(decode({0x40, 0x00}, type), std::ldexp(1.0, 14 - bits));
        EXPECT_EQ(decode({0xC0, 0x00}, type), -std::ldexp(1.0, 14 - bits));
    }
    EXPECT_EQ(decode({0xFF, 0x80}, "sp78"), -0.5);
    EXPECT_EQ(decode({0x80, 0x00}, "spf0"), -32768.0);
    EXPECT_EQ(decode({0x2F, 0x80}, "sp78"), 47.5);
}

TEST(SMCValueDecoderTests, UsesOnlyTheLeadingBytesOfALongerBuffer) {
    Bytes bytes{0x1F, 0x40, 0xAA, 0xBB, 0xCC};
    EXPECT_EQ(SMCValueDecoder::floatValue("F0Ac", bytes, 2, "fpe2"), 2000.0);
    EXPECT_EQ(SMCValueDecoder::floatValue("F0Ac", bytes, 2, std::nullopt), 2000.0);
}

TEST(SMCValueDecoderTests, WithoutATypeTheSizeChoosesTheFormat) {
    EXPECT_EQ(decode({0x1F, 0x40}, std::nullopt), 2000.0);
    EXPECT_EQ(decode({0x00, 0x00, 0xFA, 0x44}, std::nullopt), 2000.0);
    EXPECT_EQ(errorOf([] { decode({0x01}, std::nullopt); }), Error::invalidSize("KEY0", 1, 1));
    EXPECT_EQ(errorOf([] { decode({1, 2, 3}, std::nullopt); }), Error::invalidSize("KEY0", 3, 3));
}

TEST(SMCValueDecoderTests, RejectsBadSizes) {
    Bytes many(40, 0);
    EXPECT_EQ(errorOf([&] { SMCValueDecoder::floatValue("K", many, 0, "ui8 "); }),
              Error::invalidSize("K", 0, 40));
    EXPECT_EQ(errorOf([&] { SMCValueDecoder::floatValue("K", many, 33, "ui8 "); }),
              Error::invalidSize("K", 33, 40));
    EXPECT_EQ(errorOf([] {
                  SMCValueDecoder::floatValue("K", {0, 0, 0x80}, 4, "flt ");
              }),
              Error::invalidSize("K", 4, 3));
    // A known type whose size disagrees with the key's size.
    EXPECT_EQ(errorOf([] {
                  SMCValueDecoder::floatValue("K", {1, 2}, 2, "ui8 ");
              }),
              Error::invalidSize("K", 2, 2));
    EXPECT_EQ(errorOf([] {
                  SMCValueDecoder::floatValue("K", {1, 2, 3, 4}, 4, "fpe2");
              }),
              Error::invalidSize("K", 4, 4));
}

TEST(SMCValueDecoderTests, RejectsUnknownTypesAndNonFiniteResults) {
    EXPECT_EQ(errorOf([] { decode({1, 2}, "abcd"); }), Error::unsupportedDataType("KEY0", "abcd"));
    // The trailing blank belongs to the type's name.
    EXPECT_EQ(errorOf([] {
                  decode({1, 2, 3, 4}, "flt");
              }),
              Error::unsupportedDataType("KEY0", "flt"));
    EXPECT_EQ(errorOf([] {
                  decode({0x00, 0x00, 0x80, 0x7F}, "flt ");
              }),
              Error::nonFiniteValue("KEY0"));
    EXPECT_EQ(errorOf([] {
                  decode({0x00, 0x00, 0xC0, 0x7F}, std::nullopt);
              }),
              Error::nonFiniteValue("KEY0"));
}

TEST(SMCValueEncoderTests, EncodesFpe2WithHalvesAwayFromZero) {
    auto fpe2 = [](double value) { return SMCValueEncoder::floatValue(value, "F0Tg", 2, "fpe2"); };
    EXPECT_EQ(fpe2(2000.0), (Bytes{0x1F, 0x40}));
    EXPECT_EQ(fpe2(1000.1), (Bytes{0x0F, 0xA0}));
    EXPECT_EQ(fpe2(1000.125), (Bytes{0x0F, 0xA1}));
    EXPECT_EQ(fpe2(16383.75), (Bytes{0xFF, 0xFF}));
    EXPECT_EQ(fpe2(-0.0), (Bytes{0x00, 0x00}));
    EXPECT_EQ(errorOf([&] { fpe2(16384.0); }),
              Error::valueCannotBeEncoded("F0Tg", 16384.0, "fpe2"));
    EXPECT_EQ(errorOf([] { SMCValueEncoder::floatValue(10, "F0Tg", 4, "fpe2"); }),
              Error::valueCannotBeEncoded("F0Tg", 10, "fpe2"));
}

TEST(SMCValueEncoderTests, EncodesFloatLittleEndian) {
    EXPECT_EQ(SMCValueEncoder::floatValue(2000.0, "F0Tg", 4, "flt "),
              (Bytes{0x00, 0x00, 0xFA, 0x44}));
    // Negative zero must not carry its sign bit to the SMC.
    EXPECT_EQ(SMCValueEncoder::floatValue(-0.0, "F0Tg", 4, "flt "), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(SMCValueEncoder::floatValue(3.4028234663852886e38, "F0Tg", 4, "flt "),
              (Bytes{0xFF, 0xFF, 0x7F, 0x7F}));
    EXPECT_EQ(errorOf([] { SMCValueEncoder::floatValue(1e39, "F0Tg", 4, "flt "); }),
              Error::valueCannotBeEncoded("F0Tg", 1e39, "flt "));
    EXPECT_EQ(errorOf([] { SMCValueEncoder::floatValue(1, "F0Tg", 2, "flt "); }),
              Error::valueCannotBeEncoded("F0Tg", 1, "flt "));
}

TEST(SMCValueEncoderTests, RefusesNegativeAndNonFiniteValues) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(errorOf([] { SMCValueEncoder::floatValue(-1.0, "F0Tg", 2, "fpe2"); }),
              Error::valueCannotBeEncoded("F0Tg", -1.0, "fpe2"));
    EXPECT_EQ(errorOf([&] { SMCValueEncoder::floatValue(inf, "F0Tg", 4, std::nullopt); }),
              Error::valueCannotBeEncoded("F0Tg", inf, "unknown"));
    auto nanError = errorOf([] {
        SMCValueEncoder::floatValue(std::numeric_limits<double>::quiet_NaN(), "F0Tg", 4, "flt ");
    });
    EXPECT_EQ(nanError.kind(), Error::Case::valueCannotBeEncoded);
    EXPECT_STREQ(nanError.what(), "The value nan cannot be encoded as \"flt \" for F0Tg.");
}

TEST(SMCValueEncoderTests, WithoutATypeTheSizeChoosesTheFormat) {
    EXPECT_EQ(SMCValueEncoder::floatValue(2000.0, "K", 2, std::nullopt), (Bytes{0x1F, 0x40}));
    EXPECT_EQ(SMCValueEncoder::floatValue(2000.0, "K", 4, std::nullopt),
              (Bytes{0x00, 0x00, 0xFA, 0x44}));
    EXPECT_EQ(errorOf([] { SMCValueEncoder::floatValue(16384.0, "K", 2, std::nullopt); }),
              Error::unsupportedDataType("K", "unknown"));
    EXPECT_EQ(errorOf([] { SMCValueEncoder::floatValue(1.0, "K", 1, std::nullopt); }),
              Error::unsupportedDataType("K", "unknown"));
    // Beyond the float range the value is refused instead of being written as infinity.
    EXPECT_EQ(errorOf([] { SMCValueEncoder::floatValue(1e39, "K", 4, std::nullopt); }),
              Error::valueCannotBeEncoded("K", 1e39, "flt "));
    EXPECT_EQ(errorOf([] { SMCValueEncoder::floatValue(1.0, "K", 2, "ui16"); }),
              Error::unsupportedDataType("K", "ui16"));
}

TEST(SMCValueCodecRoundTripTests, EveryFpe2ValueSurvivesARoundTrip) {
    for (std::uint32_t raw = 0; raw <= 0xFFFF; ++raw) {
        Bytes bytes{static_cast<std::uint8_t>(raw >> 8), static_cast<std::uint8_t>(raw)};
        double value = SMCValueDecoder::floatValue("F0Tg", bytes, 2, "fpe2");
        ASSERT_EQ(SMCValueEncoder::floatValue(value, "F0Tg", 2, "fpe2"), bytes) << raw;
        ASSERT_EQ(SMCValueEncoder::floatValue(value, "F0Tg", 2, std::nullopt), bytes) << raw;
    }
}

TEST(SMCValueCodecRoundTripTests, RepresentableFloatsSurviveARoundTrip) {
    for (double value : {0.0, 1.0, 1200.5, 5777.25, 0.1f * 1.0, 1e-40, 3.4028234663852886e38}) {
        SCOPED_TRACE(value);
        auto bytes = SMCValueEncoder::floatValue(value, "F0Tg", 4, "flt ");
        EXPECT_EQ(SMCValueDecoder::floatValue("F0Tg", bytes, 4, "flt "),
                  static_cast<double>(static_cast<float>(value)));
    }
}

TEST(SMCDataFormatTests, ReadsLeadingBytes) {
    EXPECT_EQ(SMCDataFormat::uint8({}), 0);
    EXPECT_EQ(SMCDataFormat::uint8({7, 8}), 7);
    EXPECT_EQ(SMCDataFormat::uint16({0x12}), 0);
    EXPECT_EQ(SMCDataFormat::uint16({0x12, 0x34, 0x56}), 0x1234);
    EXPECT_EQ(SMCDataFormat::uint32({1, 2, 3}), 0u);
    EXPECT_EQ(SMCDataFormat::uint32({0x12, 0x34, 0x56, 0x78}), 0x12345678u);
    EXPECT_EQ(SMCDataFormat::floatValue({0x00, 0x00, 0xFA, 0x44}, 4), 2000.0f);
    EXPECT_EQ(SMCDataFormat::floatValue({0x1F, 0x40, 0x00}, 4), 2000.0f);
    EXPECT_EQ(SMCDataFormat::floatValue({0x1F}, 2), 0.0f);
}

TEST(SMCDataFormatTests, WritesAndRefusesWhatDoesNotFit) {
    EXPECT_EQ(SMCDataFormat::bytes(2000.0f, 4), (Bytes{0x00, 0x00, 0xFA, 0x44}));
    EXPECT_EQ(SMCDataFormat::bytes(1000.1f, 3), (Bytes{0x0F, 0xA0, 0x00}));
    EXPECT_EQ(SMCDataFormat::bytes(16383.75f, 2), (Bytes{0xFF, 0xFF}));
    EXPECT_THROW(SMCDataFormat::bytes(1.0f, 1), std::out_of_range);
    EXPECT_THROW(SMCDataFormat::bytes(16384.0f, 2), std::out_of_range);
    EXPECT_THROW(SMCDataFormat::bytes(-1.0f, 2), std::out_of_range);
    EXPECT_THROW(SMCDataFormat::bytes(std::numeric_limits<float>::quiet_NaN(), 2),
                 std::out_of_range);
}

}  // namespace
}  // namespace ventrella::hardware
