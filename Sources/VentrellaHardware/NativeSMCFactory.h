#pragma once

#include <memory>

#include "SMCKit/SMCKeyReading.h"

namespace ventrella::hardware {

struct NativeSMCFactory {
    // A new NativeSMCReader; throws SMCError::connectionFailed when the SMC cannot be opened.
    static std::shared_ptr<smc::SMCKeyReading> connection();
};

}  // namespace ventrella::hardware
