#include "Platform/VirtualMac/MachineProfile.h"

#include <cstddef>
#include <string_view>

namespace virtualmac {

namespace {

using ModeKeys = SimulatedSMCConfiguration::ModeKeys;

// Cores of one die do not read alike: spread them over a few degrees, deterministically.
double spread(std::size_t position) {
    return static_cast<double>(position % 5) * 0.75 - 1.5;
}

// The SMC temperature keys of a machine's CPU and GPU dies, in the order the firmware lists
// them. The machine carries its own lists: what a client expects of a chip is checked against
// them, not taken from them.
struct DieKeys {
    std::vector<std::string_view> cpu;
    std::vector<std::string_view> gpu;
};

DieKeys m1Keys() {
    return {
        {"Tp09", "Tp0T", "Tp01", "Tp05", "Tp0D", "Tp0H", "Tp0L", "Tp0P", "Tp0X", "Tp0b"},
        {"Tg05", "Tg0D", "Tg0L", "Tg0T"},
    };
}

DieKeys m2Keys() {
    return {
        {"Tp1h", "Tp1t", "Tp1p", "Tp1l", "Tp01", "Tp05", "Tp09", "Tp0D", "Tp0X", "Tp0b", "Tp0f",
         "Tp0j"},
        {"Tg0f", "Tg0j"},
    };
}

DieKeys m3Keys() {
    return {
        {"Te05", "Te0L", "Te0P", "Te0S", "Tf04", "Tf09", "Tf0A", "Tf0B", "Tf0D", "Tf0E", "Tf44",
         "Tf49", "Tf4A", "Tf4B", "Tf4D", "Tf4E"},
        {"Tf14", "Tf18", "Tf19", "Tf1A", "Tf24", "Tf28", "Tf29", "Tf2A"},
    };
}

DieKeys m4Keys() {
    return {
        {"Te05", "Te0S", "Te09", "Te0H", "Tp01", "Tp05", "Tp09", "Tp0D", "Tp0V", "Tp0Y", "Tp0b",
         "Tp0e"},
        {"Tg1U", "Tg1k", "Tg0K", "Tg0L", "Tg0d", "Tg0e", "Tg0j", "Tg0k"},
    };
}

// An Intel Mac's diode, proximity and package sensors.
DieKeys intelKeys() {
    return {
        {"TC0D", "TC0E", "TC0F", "TC0H", "TC0P", "TCAD"},
        {"TCGC", "TG0D", "TG0H", "TG0P"},
    };
}

std::vector<SimulatedTemperatureKey> temperatureKeys(const DieKeys& dies,
                                                     const std::string& dataType) {
    std::vector<SimulatedTemperatureKey> keys;
    std::size_t position = 0;
    for (const auto key : dies.cpu) {
        keys.push_back({std::string(key), dataType, HeatSource::cpu, spread(position++)});
    }
    for (const auto key : dies.gpu) {
        keys.push_back({std::string(key), dataType, HeatSource::gpu, spread(position++)});
    }
    return keys;
}

// The services an Apple silicon Mac's HID event system reports as temperature sensors; the
// storage, battery and power-manager ones belong to neither die.
std::vector<SimulatedHIDSensor> appleSiliconHIDSensors() {
    return {
        {"pACC MTR Temp Sensor0", HeatSource::cpu, 1.0},
        {"pACC MTR Temp Sensor1", HeatSource::cpu, 0.0},
        {"pACC MTR Temp Sensor2", HeatSource::cpu, -0.5},
        {"eACC MTR Temp Sensor0", HeatSource::cpu, -3.0},
        {"SOC MTR Temp Sensor0", HeatSource::cpu, -2.0},
        {"GPU MTR Temp Sensor1", HeatSource::gpu, 0.5},
        {"GPU MTR Temp Sensor4", HeatSource::gpu, -0.5},
        {"PMU tdie1", HeatSource::ambient, 8.0},
        {"NAND CH0 temp", HeatSource::ambient, 4.0},
        {"gas gauge battery", HeatSource::ambient, 2.0},
    };
}

std::vector<SimulatedFan> twoFans() {
    return {SimulatedFan{1200, 5800, 1200}, SimulatedFan{1300, 6200, 1300}};
}

SimulatedSMCConfiguration fanHardware(std::vector<SimulatedFan> fans, ModeKeys modeKeys,
                                      bool forceTest, std::string speedType) {
    SimulatedSMCConfiguration configuration;
    configuration.fans = std::move(fans);
    configuration.modeKeys = modeKeys;
    configuration.hasForceTest = forceTest;
    configuration.forceTestGatesModeWrites = forceTest;
    configuration.speedType = std::move(speedType);
    // The thermal model moves the actual speeds, with a lag.
    configuration.actualFollowsTargetInstantly = false;
    return configuration;
}

MachineProfile appleSilicon() {
    return MachineProfile{
        "apple-silicon",
        "Apple M3 Pro with two fans, per-fan mode keys \"F%dmd\" unlocked through \"Ftst\"",
        fanHardware(twoFans(), ModeKeys::lowerCase, true, "flt "),
        "Apple M3 Pro",
        "Mac15,6",
        temperatureKeys(m3Keys(), "flt "),
        appleSiliconHIDSensors(),
    };
}

MachineProfile upperCaseMode() {
    return MachineProfile{
        "upper-case-mode",
        "Apple M1 Max with two fans and per-fan mode keys \"F%dMd\", written directly",
        fanHardware(twoFans(), ModeKeys::upperCase, false, "flt "),
        "Apple M1 Max",
        "MacBookPro18,2",
        temperatureKeys(m1Keys(), "flt "),
        appleSiliconHIDSensors(),
    };
}

MachineProfile legacyMask() {
    return MachineProfile{
        "legacy-mask",
        "Intel processor with two fans, the manual mask \"FS! \" and \"fpe2\" speeds",
        fanHardware({SimulatedFan{1200, 6000, 1200}, SimulatedFan{1200, 5500, 1200}},
                    ModeKeys::legacyMask, false, "fpe2"),
        "Intel(R) Core(TM) i9-9880H CPU @ 2.30GHz",
        "MacBookPro16,1",
        temperatureKeys(intelKeys(), "sp78"),
        {},
    };
}

MachineProfile noControl() {
    return MachineProfile{
        "no-control",
        "Apple M4 Pro with two fans but neither mode keys nor a manual mask",
        fanHardware(twoFans(), ModeKeys::none, false, "flt "),
        "Apple M4 Pro",
        "Mac16,8",
        temperatureKeys(m4Keys(), "flt "),
        appleSiliconHIDSensors(),
    };
}

MachineProfile noFans() {
    return MachineProfile{
        "no-fans",
        "Apple M2 without fans",
        fanHardware({}, ModeKeys::none, false, "flt "),
        "Apple M2",
        "Mac14,2",
        temperatureKeys(m2Keys(), "flt "),
        appleSiliconHIDSensors(),
    };
}

// A PC, not a Mac: its processor is neither Apple silicon nor Intel and there is no SMC to open.
MachineProfile noSMC() {
    MachineProfile profile{
        "no-smc",
        "AMD processor and no SMC at all",
        fanHardware({}, ModeKeys::none, false, "flt "),
        "AMD Ryzen 7 7840U w/ Radeon 780M Graphics",
        "x86-64 laptop",
        {},
        {},
    };
    profile.hasSMC = false;
    return profile;
}

struct NamedProfile {
    std::string_view name;
    MachineProfile (*make)();
};

constexpr NamedProfile kProfiles[] = {
    {"apple-silicon", appleSilicon},
    {"upper-case-mode", upperCaseMode},
    {"legacy-mask", legacyMask},
    {"no-control", noControl},
    {"no-fans", noFans},
    {"no-smc", noSMC},
};

}  // namespace

std::vector<std::string> MachineProfile::names() {
    std::vector<std::string> names;
    for (const auto& profile : kProfiles) {
        names.emplace_back(profile.name);
    }
    return names;
}

MachineProfile MachineProfile::named(std::string_view name) {
    for (const auto& profile : kProfiles) {
        if (profile.name == name) {
            return profile.make();
        }
    }
    throw UnknownMachineProfile(name);
}

namespace {

std::string unknownProfileMessage(std::string_view name) {
    std::string message = "unknown machine profile \"" + std::string(name) + "\" (known:";
    for (const auto& profile : kProfiles) {
        message += " ";
        message += profile.name;
    }
    return message + ")";
}

}  // namespace

UnknownMachineProfile::UnknownMachineProfile(std::string_view name)
    : std::invalid_argument(unknownProfileMessage(name)) {}

}  // namespace virtualmac
