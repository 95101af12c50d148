#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "SMCKit/SMCKeyReading.h"
#include "Ventrella/Hardware/FanHardwareReading.h"
#include "VentrellaHardware/ProcessorTemperatureSample.h"

namespace ventrella::apphardware {

// The application's reader of the SMC and the HID temperature sensors; it never writes. Each
// call opens its own SMC reader and drops it when it returns, so preflights and snapshots may
// run on several threads at once. The only shared state is the list of temperature keys worth
// reading, found once per processor brand and kept under a lock that is never held while the
// SMC is asked anything.
class SMCReadClient final : public FanHardwareReading {
  public:
    // Opens a new SMC reader or throws the SMC's error.
    using ConnectionFactory = std::function<std::shared_ptr<smc::SMCKeyReading>()>;
    // The processor brand ("Apple M3 Pro"), or the hardware model ("Mac15,6").
    using TextProvider = std::function<std::string()>;
    // The HID temperature sensors of an Apple silicon Mac.
    using SupplementalTemperatureProvider =
        std::function<std::vector<hardware::ProcessorTemperatureSample>()>;

    // Readings outside this range, in degrees Celsius, are not taken as temperatures.
    static constexpr double lowestPlausibleCelsius = 20.0;
    static constexpr double highestPlausibleCelsius = 110.0;
    // A snapshot needs at least this many CPU and GPU temperatures together.
    static constexpr std::size_t minimumTemperatureCount = 2;

    static constexpr std::string_view unsupportedHardwareReason =
        "This Mac does not expose a supported SMC hardware interface.";
    static constexpr std::string_view noFanReason = "No controllable fan was found on this device.";
    static constexpr std::string_view invalidFanReason =
        "Valid fan limits or mode could not be read.";
    static constexpr std::string_view unsafeTargetFormatReason =
        "The SMC fan target format is not supported safely.";
    static constexpr std::string_view tooFewTemperaturesFormat =
        "Only %d valid CPU/GPU temperature sensors were found.";

    // The machine's own SMC, sysctl identity and HID sensors.
    SMCReadClient();
    SMCReadClient(ConnectionFactory connectionFactory, TextProvider brandStringProvider,
                  TextProvider modelProvider,
                  SupplementalTemperatureProvider supplementalTemperatureProvider);

    // Throws only when the SMC cannot be opened or the fans cannot be read, and then only on a
    // Mac whose processor is supported; every other finding is in the capabilities.
    HardwarePreflight preflight() override;
    // Throws VentrellaError (unsupported hardware, or too few temperatures) or the SMC's and
    // the fan repository's errors unchanged.
    core::SensorSnapshot snapshot() override;

  private:
    struct TemperatureCandidate {
        std::string key;
        hardware::ProcessorTemperatureGroup group;
    };

    std::vector<TemperatureCandidate> temperatureCandidates(const std::string& brand,
                                                            smc::SMCKeyReading& reader);

    ConnectionFactory connectionFactory_;
    TextProvider brandStringProvider_;
    TextProvider modelProvider_;
    SupplementalTemperatureProvider supplementalTemperatureProvider_;

    std::mutex candidateCacheLock_;
    std::optional<std::string> cachedCandidateBrand_;
    std::optional<std::vector<TemperatureCandidate>> cachedTemperatureCandidates_;
};

}  // namespace ventrella::apphardware
