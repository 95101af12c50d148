#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/VirtualMac/SimulatedSMCConfiguration.h"

namespace virtualmac {

// Which part of the machine a sensor follows.
enum class HeatSource { cpu, gpu, ambient };

// An SMC temperature key the machine publishes: its data type ("flt " or "sp78") and the
// die it follows, with a fixed offset so that the keys of one die do not all read alike.
struct SimulatedTemperatureKey {
    std::string key;
    std::string dataType;
    HeatSource source = HeatSource::cpu;
    double offsetCelsius = 0;
};

// A HID temperature service, named by its "Product" property.
struct SimulatedHIDSensor {
    std::string product;
    HeatSource source = HeatSource::cpu;
    double offsetCelsius = 0;
};

// A kind of Mac the simulated machine can be: its fan hardware, its identity and the
// temperature sensors it offers.
struct MachineProfile {
    std::string name;
    std::string description;
    SimulatedSMCConfiguration smc;
    std::string brandString;    // "machdep.cpu.brand_string"
    std::string hardwareModel;  // "hw.model"
    std::vector<SimulatedTemperatureKey> temperatureKeys;
    std::vector<SimulatedHIDSensor> hidSensors;
    // False for a machine that offers no "AppleSMC" service at all.
    bool hasSMC = true;

    // "apple-silicon", "upper-case-mode", "legacy-mask", "no-control", "no-fans", "no-smc".
    static std::vector<std::string> names();
    // Throws UnknownMachineProfile for any other name.
    static MachineProfile named(std::string_view name);
};

class UnknownMachineProfile : public std::invalid_argument {
  public:
    explicit UnknownMachineProfile(std::string_view name);
};

}  // namespace virtualmac
