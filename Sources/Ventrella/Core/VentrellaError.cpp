#include "Ventrella/Core/VentrellaError.h"

#include "Ventrella/Core/L10n.h"

namespace ventrella::core {

VentrellaError VentrellaError::externalManualControl() {
    return {Kind::externalManualControl,
            "A fan is being controlled manually by another app. Switch it to Automatic in that "
            "app first."};
}

VentrellaError VentrellaError::anotherInstance() {
    return {Kind::anotherInstance, "Ventrella is already running."};
}

std::string VentrellaError::errorDescription() const {
    return L10n::string(text_);
}

}  // namespace ventrella::core
