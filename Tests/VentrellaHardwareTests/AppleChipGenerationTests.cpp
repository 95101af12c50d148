#include "VentrellaHardware/AppleChipGeneration.h"

#include <gtest/gtest.h>

#include <optional>
#include <unordered_set>

#include "SMCFanKit/SensorCatalog.h"

namespace {

using ventrella::hardware::AppleChipGeneration;
using ventrella::hardware::fromBrandString;
using ventrella::hardware::fromRawValue;
using ventrella::hardware::sensors;

TEST(AppleChipGeneration, RecognisesAppleBrandTexts) {
    EXPECT_EQ(fromBrandString("Apple M4 Pro"), AppleChipGeneration::m4);
    EXPECT_EQ(fromBrandString("Apple M3"), AppleChipGeneration::m3);
    EXPECT_EQ(fromBrandString("APPLE m2 max"), AppleChipGeneration::m2);
    EXPECT_EQ(fromBrandString("Apple-M1"), AppleChipGeneration::m1);
    EXPECT_EQ(fromBrandString("  Apple   M5 Ultra "), AppleChipGeneration::m5);
    // The first two-character "m<digit>" word decides, wherever it stands.
    EXPECT_EQ(fromBrandString("Apple silicon M2 M3"), AppleChipGeneration::m2);
    EXPECT_EQ(fromBrandString("Apple\xe2\x84\xa2M1"), AppleChipGeneration::m1);
}

TEST(AppleChipGeneration, RejectsOtherTexts) {
    EXPECT_EQ(fromBrandString(""), std::nullopt);
    EXPECT_EQ(fromBrandString("   "), std::nullopt);
    EXPECT_EQ(fromBrandString("Intel(R) Core(TM) i9-9980HK CPU @ 2.40GHz"), std::nullopt);
    EXPECT_EQ(fromBrandString("Apple M7"), std::nullopt);
    EXPECT_EQ(fromBrandString("Apple M0"), std::nullopt);
    EXPECT_EQ(fromBrandString("Apple M10 Max"), std::nullopt);
    EXPECT_EQ(fromBrandString("Apple"), std::nullopt);
    EXPECT_EQ(fromBrandString("Applesilicon M1"), std::nullopt);
    EXPECT_EQ(fromBrandString("Not Apple M1"), std::nullopt);
}

TEST(AppleChipGeneration, RawValuesRoundTripOnlyInRange) {
    for (int raw = 1; raw <= 5; ++raw) {
        const auto generation = fromRawValue(raw);
        ASSERT_TRUE(generation.has_value()) << raw;
        EXPECT_EQ(rawValue(*generation), raw);
    }
    EXPECT_EQ(fromRawValue(0), std::nullopt);
    EXPECT_EQ(fromRawValue(6), std::nullopt);
    EXPECT_EQ(fromRawValue(-1), std::nullopt);
    std::unordered_set<AppleChipGeneration> set{AppleChipGeneration::m1, AppleChipGeneration::m1};
    EXPECT_EQ(set.size(), 1u);
}

TEST(AppleChipGeneration, SensorsAreTheGenerationListThenCrossPlatform) {
    using ventrella::fan::SensorCatalog;
    const auto m4 = sensors(AppleChipGeneration::m4);
    ASSERT_EQ(m4.size(), 57u);
    EXPECT_EQ(m4.front().key, "Te05");
    EXPECT_EQ(m4.back().key, "IBAC");
    EXPECT_EQ(m4[23].key, "TC0D");

    const std::pair<AppleChipGeneration, const std::vector<ventrella::fan::SensorKey>*> pairs[] = {
        {AppleChipGeneration::m1, &SensorCatalog::m1()},
        {AppleChipGeneration::m2, &SensorCatalog::m2()},
        {AppleChipGeneration::m3, &SensorCatalog::m3()},
        {AppleChipGeneration::m5, &SensorCatalog::m5()},
    };
    for (const auto& [generation, list] : pairs) {
        const auto keys = sensors(generation);
        ASSERT_EQ(keys.size(), list->size() + 34) << rawValue(generation);
        EXPECT_TRUE(std::equal(list->begin(), list->end(), keys.begin()));
        EXPECT_TRUE(std::equal(SensorCatalog::crossPlatform().begin(),
                               SensorCatalog::crossPlatform().end(),
                               keys.begin() + static_cast<std::ptrdiff_t>(list->size())));
    }
}

}  // namespace
