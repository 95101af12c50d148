#include "VentrellaShared/FanControlMode.h"

namespace ventrella::shared {

std::string_view toString(FanControlMode mode) {
    switch (mode) {
        case FanControlMode::automatic:
            return "automatic";
        case FanControlMode::manual:
            return "manual";
        case FanControlMode::unknown:
            return "unknown";
    }
    return "unknown";
}

std::optional<FanControlMode> parseFanControlMode(std::string_view raw) {
    for (auto mode : {FanControlMode::automatic, FanControlMode::manual, FanControlMode::unknown}) {
        if (toString(mode) == raw) {
            return mode;
        }
    }
    return std::nullopt;
}

}  // namespace ventrella::shared
