#pragma once

#include <string>

namespace ventrella::smc {
class SMCConnection;
}

namespace ventrella::fan {

// Which per-fan mode key spelling this Mac uses and whether it has the "Ftst" unlock key.
struct SMCHardwareConfig {
    std::string modeKeyFormat;
    bool ftstAvailable = false;

    // Probes the SMC for the mode key of fan 0 and for "Ftst". Never throws: a missing key only
    // changes the result (the lower-case spelling is assumed when neither exists).
    static SMCHardwareConfig detectHardwareKeys(ventrella::smc::SMCConnection& connection);

    friend bool operator==(const SMCHardwareConfig&, const SMCHardwareConfig&) = default;
};

}  // namespace ventrella::fan
