#include <gtest/gtest.h>

#include "SMCFanKit/SMCFanKey.h"

namespace ventrella::fan {
namespace {

TEST(SMCFanKeyTests, SubstitutesTheFanIndex) {
    EXPECT_EQ(SMCFanKey::key(SMCFanKey::target, 1), "F1Tg");
    EXPECT_EQ(SMCFanKey::key(SMCFanKey::actual, 0), "F0Ac");
    EXPECT_EQ(SMCFanKey::key(SMCFanKey::modeLower, 2), "F2md");
    EXPECT_EQ(SMCFanKey::key(SMCFanKey::modeUpper, 3), "F3Md");
    // Ten fans or more no longer fit four characters; the key is still formed as asked.
    EXPECT_EQ(SMCFanKey::key(SMCFanKey::minimum, 10), "F10Mn");
    EXPECT_EQ(SMCFanKey::key(SMCFanKey::count, 5), "FNum");
}

}  // namespace
}  // namespace ventrella::fan
