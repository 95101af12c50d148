#pragma once

#include <cstdint>

namespace ventrella::shared {

// Values both programs must agree on; a reply carrying another version is refused by the app.
struct VentrellaProtocol {
    VentrellaProtocol() = delete;

    static constexpr std::int64_t version = 4;
    static constexpr std::int64_t minimumCoolingPercentage = 40;
    static constexpr double maximumPlausibleRPM = 100000.0;
    static constexpr double maximumTachometerOvershootRPM = 100.0;
};

}  // namespace ventrella::shared
