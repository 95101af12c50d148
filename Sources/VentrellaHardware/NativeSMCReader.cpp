#include "VentrellaHardware/NativeSMCReader.h"

#include "SMCKit/SMCError.h"
#include "VentrellaHardware/SMCKeyEnumerator.h"

namespace ventrella::hardware {

std::vector<std::string> NativeSMCReader::enumerateKeys() {
    try {
        SMCKeyEnumerator enumerator;
        return enumerator.enumerateKeys();
    } catch (const smc::SMCError&) {
        return {};
    }
}

}  // namespace ventrella::hardware
