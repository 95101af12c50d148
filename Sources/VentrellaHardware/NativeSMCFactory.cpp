#include "VentrellaHardware/NativeSMCFactory.h"

#include "VentrellaHardware/NativeSMCReader.h"

namespace ventrella::hardware {

std::shared_ptr<smc::SMCKeyReading> NativeSMCFactory::connection() {
    return std::make_shared<NativeSMCReader>();
}

}  // namespace ventrella::hardware
