#include "Ventrella/Core/GuardMode.h"

#include "Ventrella/Core/L10n.h"

namespace ventrella::core {

std::string GuardMode::title() const {
    switch (kind_) {
        case Kind::automatic:
            return "Apple Automatic";
        case Kind::boost:
            return L10n::string("Boost");
        case Kind::emergency:
            return L10n::string("Emergency cooling");
        case Kind::externalManual:
            return L10n::string("External manual control");
        case Kind::fault:
            return L10n::string("Error");
    }
    return L10n::string("Error");
}

}  // namespace ventrella::core
