#include "VentrellaHardware/SMCFanControlMechanism.h"

namespace ventrella::hardware {

std::string SMCFanControlMechanism::diagnosticName() const {
    return (kind_ == Case::perFanMode ? "per-fan:" : "legacy-mask:") + payload_;
}

}  // namespace ventrella::hardware
