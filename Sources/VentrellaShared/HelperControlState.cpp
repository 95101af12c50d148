#include "VentrellaShared/HelperControlState.h"

namespace ventrella::shared {

std::string_view toString(HelperControlState state) {
    switch (state) {
        case HelperControlState::automatic:
            return "automatic";
        case HelperControlState::manual:
            return "manual";
        case HelperControlState::fault:
            return "fault";
    }
    return "fault";
}

std::optional<HelperControlState> parseHelperControlState(std::string_view raw) {
    for (auto state :
         {HelperControlState::automatic, HelperControlState::manual, HelperControlState::fault}) {
        if (toString(state) == raw) {
            return state;
        }
    }
    return std::nullopt;
}

}  // namespace ventrella::shared
