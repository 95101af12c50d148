#pragma once

#include <string>
#include <string_view>

namespace ventrella::fan {

// SMC key names of the fans. Per-fan keys are formats in which "%d" stands for the 0-based fan
// index.
struct SMCFanKey {
    static constexpr std::string_view count = "FNum";
    static constexpr std::string_view forceTest = "Ftst";
    static constexpr std::string_view actual = "F%dAc";
    static constexpr std::string_view target = "F%dTg";
    static constexpr std::string_view minimum = "F%dMn";
    static constexpr std::string_view maximum = "F%dMx";
    static constexpr std::string_view modeLower = "F%dmd";
    static constexpr std::string_view modeUpper = "F%dMd";

    // The format with the fan index in place of "%d": key(target, 1) is "F1Tg".
    static std::string key(std::string_view format, int fan);
};

}  // namespace ventrella::fan
