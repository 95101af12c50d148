#include <gtest/gtest.h>

#include <limits>

#include "VentrellaHardware/SMCReadValidationError.h"

namespace ventrella::hardware {
namespace {

using Error = SMCReadValidationError;

TEST(SMCReadValidationErrorTests, EveryCaseHasItsText) {
    EXPECT_STREQ(Error::emptyValue("F0Ac").what(), "The SMC value for F0Ac is empty.");
    EXPECT_STREQ(Error::invalidSize("F0Ac", 4, 3).what(), "Invalid SMC size for F0Ac: 4/3.");
    EXPECT_STREQ(Error::unsupportedDataType("F0Ac", "abcd").what(),
                 "Unsupported SMC data type for F0Ac: \"abcd\".");
    EXPECT_STREQ(Error::valueCannotBeEncoded("F0Tg", 100001.0, "fpe2").what(),
                 "The value 100001.0 cannot be encoded as \"fpe2\" for F0Tg.");
    EXPECT_STREQ(Error::invalidFanCount(-3).what(), "Invalid fan count: -3.");
    EXPECT_STREQ(Error::invalidMode("F1md", 7).what(), "Invalid fan mode for F1md: 7.");
    EXPECT_STREQ(Error::invalidManualMask("FS! ").what(), "The manual fan mask FS!  is invalid.");
    EXPECT_STREQ(Error::nonFiniteValue("F0Ac").what(), "The SMC value for F0Ac is not finite.");
    EXPECT_STREQ(Error::valueOutsidePlausibleRange("F0Ac", 1200.5).what(),
                 "The SMC value for F0Ac is outside the plausible range: 1200.5.");
    EXPECT_STREQ(Error::noFans().what(), "No controllable fan was found.");
    EXPECT_STREQ(Error::noControlMechanism().what(),
                 "No verified SMC fan-control mode mechanism was found.");
    EXPECT_EQ(Error::noFans().description(), "No controllable fan was found.");
}

TEST(SMCReadValidationErrorTests, NumbersUseTheirShortestDecimalForm) {
    EXPECT_EQ(formatDecimal(100001.0), "100001.0");
    EXPECT_EQ(formatDecimal(100000.0), "100000.0");
    EXPECT_EQ(formatDecimal(0.0), "0.0");
    EXPECT_EQ(formatDecimal(-0.0), "-0.0");
    EXPECT_EQ(formatDecimal(-1.0), "-1.0");
    EXPECT_EQ(formatDecimal(1000.1), "1000.1");
    EXPECT_EQ(formatDecimal(0.1), "0.1");
    EXPECT_EQ(formatDecimal(0.0001), "0.0001");
    EXPECT_EQ(formatDecimal(1e-05), "1e-05");
    EXPECT_EQ(formatDecimal(1e16), "1e+16");
    EXPECT_EQ(formatDecimal(1e39), "1e+39");
    EXPECT_EQ(formatDecimal(9007199254740992.0), "9007199254740992.0");
    EXPECT_EQ(formatDecimal(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(formatDecimal(-std::numeric_limits<double>::infinity()), "-inf");
    EXPECT_EQ(formatDecimal(std::numeric_limits<double>::quiet_NaN()), "nan");
}

TEST(SMCReadValidationErrorTests, QuotedDataTypesEscapeWhatCouldBreakTheText) {
    EXPECT_EQ(quotedText("flt "), "\"flt \"");
    EXPECT_EQ(quotedText("a\"b\\"), "\"a\\\"b\\\\\"");
    EXPECT_EQ(quotedText(std::string("\t\n\r\0", 4)), "\"\\t\\n\\r\\0\"");
    EXPECT_EQ(quotedText("\x01\x1b\x7f"), "\"\\u{1}\\u{1B}\\u{7F}\"");
    // Non-ASCII text (a replacement character) passes through unchanged.
    EXPECT_EQ(quotedText("\xEF\xBF\xBD"), "\"\xEF\xBF\xBD\"");
    EXPECT_STREQ(Error::unsupportedDataType("K", "a\nb").what(),
                 "Unsupported SMC data type for K: \"a\\nb\".");
}

TEST(SMCReadValidationErrorTests, EqualityComparesCaseAndPayload) {
    EXPECT_EQ(Error::invalidSize("K", 4, 3), Error::invalidSize("K", 4, 3));
    EXPECT_NE(Error::invalidSize("K", 4, 3), Error::invalidSize("K", 4, 2));
    EXPECT_NE(Error::invalidSize("K", 4, 3), Error::invalidSize("L", 4, 3));
    EXPECT_NE(Error::emptyValue("K"), Error::nonFiniteValue("K"));
    EXPECT_NE(Error::valueCannotBeEncoded("K", 1, "fpe2"),
              Error::valueCannotBeEncoded("K", 1, "flt "));
    EXPECT_NE(Error::invalidMode("K", 1), Error::invalidMode("K", 2));
    EXPECT_EQ(Error::noFans(), Error::noFans());
}

}  // namespace
}  // namespace ventrella::hardware
