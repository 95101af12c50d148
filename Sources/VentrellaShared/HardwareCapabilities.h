#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ventrella::shared {

// What the app's preflight found on this machine; kept by the app, never sent to the helper.
struct HardwareCapabilities {
    std::string model;
    std::optional<std::int64_t> chipGeneration;
    std::int64_t fanCount = 0;
    bool canMonitor = false;
    bool canControl = false;
    std::optional<std::string> controlMechanism;
    std::optional<std::string> reason;

    bool operator==(const HardwareCapabilities&) const = default;
};

}  // namespace ventrella::shared
