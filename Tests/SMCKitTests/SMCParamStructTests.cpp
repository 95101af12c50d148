#include "SMCKit/SMCParamStruct.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "SMCKit/FourCharCode.h"
#include "SMCKit/SMCError.h"

using namespace ventrella::smc;

namespace {

std::vector<std::uint8_t> rawBytes(const SMCParamStruct& record) {
    std::vector<std::uint8_t> raw(sizeof record);
    std::memcpy(raw.data(), &record, sizeof record);
    return raw;
}

}  // namespace

TEST(SMCParamStructTests, FreshRecordIsAllZeroBytes) {
    EXPECT_EQ(rawBytes(SMCParamStruct{}), std::vector<std::uint8_t>(80, 0));
}

TEST(SMCParamStructTests, EveryFieldLandsAtItsOffsetInLittleEndianOrder) {
    SMCParamStruct record{};
    record.key = 0x464E756D;
    record.vers.major = 0x01;
    record.vers.minor = 0x02;
    record.vers.build = 0x03;
    record.vers.reserved = 0x04;
    record.vers.release = 0x0506;
    record.pLimitData.version = 0x0708;
    record.pLimitData.length = 0x090A;
    record.pLimitData.cpuPLimit = 0x11121314;
    record.pLimitData.gpuPLimit = 0x21222324;
    record.pLimitData.memPLimit = 0x31323334;
    record.keyInfo.dataSize = 0x41424344;
    record.keyInfo.dataType = 0x666C7420;
    record.keyInfo.dataAttributes = 0x80;
    record.result = 0x84;
    record.status = 0x55;
    record.data8 = 0x09;
    record.data32 = 0x61626364;
    record.bytes[0] = 0xAA;
    record.bytes[31] = 0xBB;

    const std::vector<std::uint8_t> expected{
        0x6D, 0x75, 0x4E, 0x46,                          // 0 key
        0x01, 0x02, 0x03, 0x04, 0x06, 0x05, 0x00, 0x00,  // 4 vers, 10 padding
        0x08, 0x07, 0x0A, 0x09,                          // 12 pLimitData version, length
        0x14, 0x13, 0x12, 0x11,                          // 16 cpuPLimit
        0x24, 0x23, 0x22, 0x21,                          // 20 gpuPLimit
        0x34, 0x33, 0x32, 0x31,                          // 24 memPLimit
        0x44, 0x43, 0x42, 0x41,                          // 28 dataSize
        0x20, 0x74, 0x6C, 0x66,                          // 32 dataType
        0x80, 0x00, 0x00, 0x00,                          // 36 attributes, padding
        0x84, 0x55, 0x09, 0x00,                          // 40 result, status, data8
        0x64, 0x63, 0x62, 0x61,                          // 44 data32
        0xAA, 0,    0,    0,    0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0,
        0,    0,    0,    0,    0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0xBB,  // 48 bytes
    };
    EXPECT_EQ(rawBytes(record), expected);
}

TEST(FourCharCodeTests, ConvertsBothWaysAndRejectsOtherLengths) {
    EXPECT_EQ(fourCharCode("FNum"), 0x464E756Du);
    EXPECT_EQ(fourCharCode("FS! "), 0x46532120u);
    EXPECT_EQ(fourCharASCII(0x464E756D), "FNum");
    EXPECT_EQ(fourCharUTF8(0x666C7420), "flt ");

    for (const char* bad : {"", "FNu", "FNum1", "F0Tg "}) {
        try {
            fourCharCode(bad);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const SMCError& error) {
            EXPECT_EQ(error, SMCError::firmware(SMCResultCode::badParameter));
            EXPECT_STREQ(error.what(), "SMC firmware error: badParameter (0x83)");
        }
    }
    // Four characters but five bytes is not a key either.
    EXPECT_THROW(fourCharCode("F\xC3\xA9Tg"), SMCError);
}

TEST(FourCharCodeTests, RendersNonASCIIBytesPerPurpose) {
    const std::uint32_t code = 0x41FF42E9;  // 'A', 0xFF, 'B', 0xE9
    EXPECT_EQ(fourCharASCII(code), "????");
    EXPECT_EQ(fourCharUTF8(code),
              "A\xEF\xBF\xBD"
              "B\xEF\xBF\xBD");
    EXPECT_EQ(fourCharScalars(code),
              "A\xC3\xBF"
              "B\xC3\xA9");
    // A valid two-byte sequence survives UTF-8 decoding.
    EXPECT_EQ(fourCharUTF8(0x41C3A942),
              "A\xC3\xA9"
              "B");
}

TEST(SMCErrorTests, DescribesEveryCaseWithItsFixedText) {
    EXPECT_EQ(description(SMCResultCode::notFound), "notFound (0x84)");
    EXPECT_EQ(SMCError::firmware(SMCResultCode::success).description(),
              "SMC firmware error: success (0x0)");
    EXPECT_EQ(SMCError::firmware(SMCResultCode::error).description(),
              "SMC firmware error: error (0x1)");
    EXPECT_EQ(SMCError::firmware(SMCResultCode::badArgumentError).description(),
              "SMC firmware error: badArgumentError (0x89)");
    EXPECT_EQ(SMCError::ioKit(static_cast<std::int32_t>(0xe00002bc)).description(),
              "IOKit error: 0xe00002bc");
    EXPECT_EQ(SMCError::ioKit(5).description(), "IOKit error: 0x5");
    EXPECT_EQ(SMCError::connectionFailed().description(), "Failed to open AppleSMC");
    EXPECT_EQ(SMCError::notOpen().description(), "SMC connection not open");
    EXPECT_EQ(SMCError::timeout().description(), "Operation timed out");

    EXPECT_EQ(smcResultCode(0x84), SMCResultCode::notFound);
    EXPECT_EQ(smcResultCode(0x42), std::nullopt);
    EXPECT_EQ(smcResultCode(0x8A), std::nullopt);

    EXPECT_EQ(SMCError::ioKit(1), SMCError::ioKit(1));
    EXPECT_NE(SMCError::ioKit(1), SMCError::ioKit(2));
    EXPECT_NE(SMCError::firmware(SMCResultCode::notFound),
              SMCError::firmware(SMCResultCode::notReadable));
    EXPECT_NE(SMCError::notOpen(), SMCError::timeout());
    EXPECT_EQ(SMCError::ioKit(1).ioKitCode(), 1);
    EXPECT_EQ(SMCError::timeout().firmwareCode(), std::nullopt);
}
