#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "SMCKit/SMCError.h"
#include "Support/FakeSMCKeyReader.h"
#include "VentrellaHardware/LegacyManualFanMask.h"
#include "VentrellaHardware/SMCFanControlMechanism.h"
#include "VentrellaHardware/SMCFanRepository.h"
#include "VentrellaHardware/SMCReadValidationError.h"

namespace ventrella::hardware {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Error = SMCReadValidationError;
using fakes::FakeSMCKeyReader;
using fakes::FakeSMCMetadataReader;
using shared::FanControlMode;
using shared::FanInfo;

Bytes fltBytes(float value) {
    Bytes bytes(4);
    std::memcpy(bytes.data(), &value, 4);
    return bytes;
}

// A Mac with `fans` fans whose speeds are "flt " keys and whose per-fan mode keys follow
// `modeFormat` ("F%dmd", "F%dMd", or empty for none).
template <class Reader>
std::shared_ptr<Reader> mac(int fans, const std::string& modeFormat = "F%dmd") {
    auto reader = std::make_shared<Reader>();
    reader->set("FNum", "ui8 ", {static_cast<std::uint8_t>(fans)});
    for (int id = 0; id < fans; ++id) {
        const auto fan = "F" + std::to_string(id);
        reader->set(fan + "Ac", "flt ", fltBytes(2000.0F + static_cast<float>(id)));
        reader->set(fan + "Mn", "flt ", fltBytes(1200));
        reader->set(fan + "Mx", "flt ", fltBytes(5800));
        reader->set(fan + "Tg", "flt ", fltBytes(2100));
        if (!modeFormat.empty()) {
            auto key = modeFormat;
            key.replace(key.find("%d"), 2, std::to_string(id));
            reader->set(key, "ui8 ", {0});
        }
    }
    return reader;
}

Error errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const Error& error) {
        return error;
    }
    ADD_FAILURE() << "no SMCReadValidationError thrown";
    return Error::noFans();
}

std::size_t countOf(const std::vector<std::string>& reads, const std::string& key) {
    return static_cast<std::size_t>(std::count(reads.begin(), reads.end(), key));
}

TEST(SMCFanControlMechanismTests, DiagnosticNamesAndEquality) {
    EXPECT_EQ(SMCFanControlMechanism::perFanMode("F%dmd").diagnosticName(), "per-fan:F%dmd");
    EXPECT_EQ(SMCFanControlMechanism::legacyForcedMask("FS! ").diagnosticName(),
              "legacy-mask:FS! ");
    EXPECT_EQ(SMCFanControlMechanism::perFanMode("F%dMd"),
              SMCFanControlMechanism::perFanMode("F%dMd"));
    EXPECT_NE(SMCFanControlMechanism::perFanMode("F%dmd"),
              SMCFanControlMechanism::perFanMode("F%dMd"));
    // Same payload, other case.
    EXPECT_NE(SMCFanControlMechanism::perFanMode("FS! "),
              SMCFanControlMechanism::legacyForcedMask("FS! "));
}

TEST(SMCFanRepositoryTests, DetectsTheMechanismFromTheKeysTheMacHas) {
    auto lower = mac<FakeSMCKeyReader>(2, "F%dmd");
    lower->set("F0Md", "ui8 ", {0});
    SMCFanRepository lowerRepository(lower, std::nullopt);
    EXPECT_EQ(lowerRepository.controlMechanism(), SMCFanControlMechanism::perFanMode("F%dmd"));
    // The lower-case key wins without the upper-case one being asked.
    EXPECT_EQ(countOf(lower->reads, "F0Md"), 0U);

    auto upper = mac<FakeSMCKeyReader>(2, "F%dMd");
    SMCFanRepository upperRepository(upper, std::nullopt);
    EXPECT_EQ(upperRepository.controlMechanism(), SMCFanControlMechanism::perFanMode("F%dMd"));
    EXPECT_EQ(upperRepository.modeKeyFormat(), "F%dMd");

    // A mode key that reads empty does not count; the mask is the next choice.
    auto legacy = mac<FakeSMCKeyReader>(2, "");
    legacy->set("F0md", "ui8 ", {});
    legacy->set("FS! ", "ui16", {0, 0});
    SMCFanRepository legacyRepository(legacy, std::nullopt);
    EXPECT_EQ(legacyRepository.controlMechanism(),
              SMCFanControlMechanism::legacyForcedMask("FS! "));
    EXPECT_EQ(legacyRepository.modeKeyFormat(), "F%dmd");

    // A mask of the wrong size and a read error both mean no mechanism.
    auto none = mac<FakeSMCKeyReader>(2, "");
    none->set("FS! ", "ui8 ", {1});
    none->failRead("F0md", std::make_exception_ptr(smc::SMCError::ioKit(-1)));
    EXPECT_FALSE(SMCFanRepository(none, std::nullopt).controlMechanism().has_value());

    // An explicit format is taken without probing anything.
    auto given = mac<FakeSMCKeyReader>(2, "");
    SMCFanRepository givenRepository(given, "F%dMd");
    EXPECT_EQ(givenRepository.controlMechanism(), SMCFanControlMechanism::perFanMode("F%dMd"));
    EXPECT_TRUE(given->reads.empty());
}

TEST(SMCFanRepositoryTests, FanCountBounds) {
    auto reader = mac<FakeSMCKeyReader>(0);
    SMCFanRepository repository(reader, std::nullopt);
    EXPECT_TRUE(repository.readFans(true).empty());
    const auto noFans = errorOf([&] { repository.readFans(false); });
    EXPECT_EQ(noFans, Error::noFans());
    EXPECT_EQ(noFans.description(), "No controllable fan was found.");

    reader->set("FNum", "ui8 ", {8});
    EXPECT_EQ(repository.fanCount(false), 8);
    reader->set("FNum", "ui8 ", {9});
    const auto tooMany = errorOf([&] { repository.fanCount(true); });
    EXPECT_EQ(tooMany, Error::invalidFanCount(9));
    EXPECT_EQ(tooMany.description(), "Invalid fan count: 9.");

    reader->set("FNum", "ui8 ", {});
    EXPECT_EQ(errorOf([&] { repository.fanCount(true); }), Error::emptyValue("FNum"));

    // The reader's own error passes through unchanged.
    reader->remove("FNum");
    EXPECT_THROW(
        {
            try {
                repository.fanCount(true);
            } catch (const smc::SMCError& error) {
                EXPECT_EQ(error, smc::SMCError::firmware(smc::SMCResultCode::notFound));
                throw;
            }
        },
        smc::SMCError);
}

TEST(SMCFanRepositoryTests, ReadsEveryFanInOrder) {
    auto reader = mac<FakeSMCMetadataReader>(2);
    reader->set("F1md", "ui8 ", {1});
    SMCFanRepository repository(reader, std::nullopt);
    const auto fans = repository.readFans(false);
    ASSERT_EQ(fans.size(), 2U);
    EXPECT_EQ(fans[0], (FanInfo{0, 2000, 1200, 5800, 2100, FanControlMode::automatic}));
    EXPECT_EQ(fans[1], (FanInfo{1, 2001, 1200, 5800, 2100, FanControlMode::manual}));

    // Mode 3 is automatic too; 2 is not a mode.
    reader->set("F1md", "ui8 ", {3});
    EXPECT_EQ(repository.readFans(false)[1].mode, FanControlMode::automatic);
    reader->set("F1md", "ui8 ", {2});
    const auto invalid = errorOf([&] { repository.readFans(false); });
    EXPECT_EQ(invalid, Error::invalidMode("F1md", 2));
    reader->set("F1md", "ui8 ", {});
    EXPECT_EQ(errorOf([&] { repository.readFans(false); }), Error::emptyValue("F1md"));
}

TEST(SMCFanRepositoryTests, SpeedsMustBeFiniteAndPlausible) {
    auto reader = mac<FakeSMCMetadataReader>(2);
    SMCFanRepository repository(reader, std::nullopt);

    reader->set("F0Mx", "flt ", fltBytes(100000));
    EXPECT_EQ(repository.readFans(true)[0].maximumRPM, 100000);
    reader->set("F0Mx", "flt ", fltBytes(100001));
    EXPECT_EQ(errorOf([&] { repository.readFans(true); }),
              Error::valueOutsidePlausibleRange("F0Mx", 100001));
    reader->set("F0Mx", "flt ", fltBytes(-1));
    EXPECT_EQ(errorOf([&] { repository.readFans(true); }),
              Error::valueOutsidePlausibleRange("F0Mx", -1));
    reader->set("F0Mx", "flt ", fltBytes(std::numeric_limits<float>::infinity()));
    EXPECT_EQ(errorOf([&] { repository.readFans(true); }), Error::nonFiniteValue("F0Mx"));

    // The first failure ends the read: fan 1's keys are never asked for.
    reader->reads.clear();
    EXPECT_THROW(repository.readFans(true), Error);
    EXPECT_EQ(countOf(reader->reads, "F1Ac"), 0U);
}

TEST(SMCFanRepositoryTests, ReaderWithoutMetadataDecodesBySize) {
    auto reader = mac<FakeSMCKeyReader>(1);
    reader->set("F0Ac", "fpe2", {0x1F, 0x40});  // 2000 as "fpe2"
    reader->set("F0Mn", "flt ", fltBytes(1200));
    SMCFanRepository repository(reader, std::nullopt);
    const auto fans = repository.readFans(false);
    EXPECT_EQ(fans[0].actualRPM, 2000);
    EXPECT_EQ(fans[0].minimumRPM, 1200);
    EXPECT_EQ(repository.validateControlSupport(), fans);

    // With metadata, the reported type decides: a "ui16" speed of 0x1F40 is 8000 RPM.
    auto typed = mac<FakeSMCMetadataReader>(1);
    typed->set("F0Ac", "ui16", {0x1F, 0x40});
    EXPECT_EQ(SMCFanRepository(typed, std::nullopt).readFans(false)[0].actualRPM, 8000);
}

TEST(SMCFanRepositoryTests, ReaderWithoutMetadataSkipsShapeComparisons) {
    auto reader = mac<FakeSMCKeyReader>(1);
    // Types the metadata check would refuse; a plain reader cannot see them.
    reader->set("F0md", "ui16", {0});
    SMCFanRepository repository(reader, std::nullopt);
    EXPECT_NO_THROW(repository.validateControlSupport());

    auto typed = mac<FakeSMCMetadataReader>(1);
    typed->set("F0md", "ui16", {0});
    EXPECT_EQ(errorOf([&] { SMCFanRepository(typed, std::nullopt).validateControlSupport(); }),
              Error::unsupportedDataType("F0md", "ui16"));
}

TEST(SMCFanRepositoryTests, ControlCheckReportsTheFirstFailureInOrder) {
    // No fans comes before everything else, even without a mechanism.
    auto empty = mac<FakeSMCMetadataReader>(0, "");
    EXPECT_EQ(errorOf([&] { SMCFanRepository(empty, std::nullopt).validateControlSupport(); }),
              Error::noFans());

    // A bad fan read comes before the missing mechanism...
    auto noMechanism = mac<FakeSMCMetadataReader>(2, "");
    noMechanism->set("F1Tg", "flt ", fltBytes(200000));
    SMCFanRepository unmanaged(noMechanism, std::nullopt);
    EXPECT_EQ(errorOf([&] { unmanaged.validateControlSupport(); }),
              Error::valueOutsidePlausibleRange("F1Tg", 200000));
    // ...which is reported only after every fan was read, with unknown modes.
    noMechanism->set("F1Tg", "flt ", fltBytes(2100));
    noMechanism->reads.clear();
    const auto missing = errorOf([&] { unmanaged.validateControlSupport(); });
    EXPECT_EQ(missing, Error::noControlMechanism());
    EXPECT_EQ(missing.description(), "No verified SMC fan-control mode mechanism was found.");
    EXPECT_EQ(countOf(noMechanism->reads, "F1Tg"), 1U);
    for (const auto& fan : unmanaged.readFans(false)) {
        EXPECT_EQ(fan.mode, FanControlMode::unknown);
    }

    // The mode representation is checked for every fan before any target.
    auto reader = mac<FakeSMCMetadataReader>(2);
    reader->set("F0Tg", "flt ", fltBytes(std::numeric_limits<float>::infinity()));
    reader->keys["F1md"].size = 2;  // two bytes claimed, one held
    reader->metadataOverrides["F1md"] = {2, "ui8 ", 0};
    SMCFanRepository repository(reader, std::nullopt);
    // readFans decodes the target first, so the infinite target fails there.
    EXPECT_EQ(errorOf([&] { repository.validateControlSupport(); }), Error::nonFiniteValue("F0Tg"));
    reader->set("F0Tg", "flt ", fltBytes(2100));
    reader->keys["F1md"].size = 2;
    EXPECT_EQ(errorOf([&] { repository.validateControlSupport(); }),
              Error::invalidSize("F1md", 2, 1));
    reader->keys["F1md"].size = 1;
    // The metadata must agree with the read: size 1, type "ui8 ".
    EXPECT_EQ(errorOf([&] { repository.validateControlSupport(); }),
              Error::unsupportedDataType("F1md", "ui8 "));
    reader->metadataOverrides.clear();
    EXPECT_EQ(repository.validateControlSupport(), repository.readFans(false));
}

TEST(SMCFanRepositoryTests, TargetKeysMustSurviveARoundTrip) {
    // "fpe2" 0xFFFF is the largest encodable value and passes.
    auto fpe2 = mac<FakeSMCMetadataReader>(1);
    fpe2->set("F0Tg", "fpe2", {0xFF, 0xFF});
    const auto fans = SMCFanRepository(fpe2, std::nullopt).validateControlSupport();
    EXPECT_EQ(fans[0].targetRPM, 16383.75);

    // A target that reads as a speed but cannot be written back in its own type.
    auto integer = mac<FakeSMCMetadataReader>(1);
    integer->set("F0Tg", "ui16", {0x1F, 0x40});
    SMCFanRepository repository(integer, std::nullopt);
    EXPECT_EQ(repository.readFans(false)[0].targetRPM, 8000);
    EXPECT_EQ(errorOf([&] { repository.validateControlSupport(); }),
              Error::unsupportedDataType("F0Tg", "ui16"));

    // Metadata that disagrees with the size just read.
    integer->set("F0Tg", "flt ", fltBytes(2100));
    integer->metadataOverrides["F0Tg"] = {2, "flt ", 0};
    EXPECT_EQ(errorOf([&] { repository.validateControlSupport(); }),
              Error::invalidSize("F0Tg", 4, 4));

    // A metadata failure passes through unchanged.
    integer->metadataOverrides.clear();
    integer->metadataErrors["F0Tg"] =
        std::make_exception_ptr(smc::SMCError::firmware(smc::SMCResultCode::commCollision));
    EXPECT_THROW(repository.validateControlSupport(), smc::SMCError);
}

TEST(SMCFanRepositoryTests, LegacyMaskGivesModesAndIsCheckedForControl) {
    auto reader = mac<FakeSMCMetadataReader>(3, "");
    reader->set("FS! ", "ui16", {0x00, 0b101});
    SMCFanRepository repository(reader, std::nullopt);
    reader->reads.clear();
    const auto fans = repository.readFans(false);
    EXPECT_EQ(countOf(reader->reads, "FS! "), 1U);  // once for all fans
    EXPECT_EQ(fans[0].mode, FanControlMode::manual);
    EXPECT_EQ(fans[1].mode, FanControlMode::automatic);
    EXPECT_EQ(fans[2].mode, FanControlMode::manual);
    EXPECT_EQ(repository.validateControlSupport(), fans);

    // Big-endian: the high byte holds fans 8 to 15.
    reader->set("FS! ", "ui16", {0x01, 0x00});
    EXPECT_EQ(repository.readFans(false)[0].mode, FanControlMode::automatic);

    // The mask changed shape after detection.
    reader->set("FS! ", "ui8 ", {0x01});
    EXPECT_EQ(errorOf([&] { repository.readFans(false); }), Error::invalidManualMask("FS! "));
    reader->set("FS! ", "ui16", {0, 0});
    reader->metadataOverrides["FS! "] = {2, "si16", 0};
    EXPECT_EQ(errorOf([&] { repository.validateControlSupport(); }),
              Error::unsupportedDataType("FS! ", "si16"));
}

TEST(SMCFanRepositoryTests, ReadFloatDecodesAnyKeyWithoutARangeCheck) {
    auto reader = std::make_shared<FakeSMCMetadataReader>();
    reader->set("TC0P", "sp78", {0xFF, 0x80});
    reader->set("PSTR", "flt ", fltBytes(250000));
    SMCFanRepository repository(reader, "F%dmd");
    EXPECT_EQ(repository.readFloat("TC0P"), -0.5);
    EXPECT_EQ(repository.readFloat("PSTR"), 250000);
}

TEST(LegacyManualFanMaskTests, BitsAndBounds) {
    EXPECT_TRUE(LegacyManualFanMask::isManual(0, 0b1));
    EXPECT_TRUE(LegacyManualFanMask::isManual(15, 0x8000));
    EXPECT_FALSE(LegacyManualFanMask::isManual(1, 0b1));
    EXPECT_FALSE(LegacyManualFanMask::isManual(16, 0xFFFF));
    EXPECT_FALSE(LegacyManualFanMask::isManual(-1, 0xFFFF));

    EXPECT_EQ(LegacyManualFanMask::enabling(2, 0b0001), 0b0101);
    EXPECT_EQ(LegacyManualFanMask::enabling(15, 0), 0x8000);
    const auto outside = errorOf([] { LegacyManualFanMask::enabling(16, 0); });
    EXPECT_EQ(outside, Error::invalidManualMask("FS! "));
    EXPECT_EQ(outside.description(), "The manual fan mask FS!  is invalid.");
    EXPECT_EQ(errorOf([] { LegacyManualFanMask::enabling(-1, 0); }),
              Error::invalidManualMask("FS! "));

    EXPECT_EQ(LegacyManualFanMask::restoringAutomatic(2, 0b1111), 0b1100);
    EXPECT_EQ(LegacyManualFanMask::restoringAutomatic(0, 0b1111), 0b1111);
    EXPECT_EQ(LegacyManualFanMask::restoringAutomatic(16, 0xFFFF), 0);
    EXPECT_EQ(errorOf([] { LegacyManualFanMask::restoringAutomatic(17, 0xFFFF); }),
              Error::invalidFanCount(17));
    EXPECT_EQ(errorOf([] { LegacyManualFanMask::restoringAutomatic(-1, 0xFFFF); }),
              Error::invalidFanCount(-1));
}

}  // namespace
}  // namespace ventrella::hardware
