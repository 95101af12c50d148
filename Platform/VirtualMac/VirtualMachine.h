#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Platform/VirtualMac/MachineProfile.h"
#include "Platform/VirtualMac/SimulatedHIDSystem.h"
#include "Platform/VirtualMac/SimulatedSMC.h"
#include "Platform/VirtualMac/ThermalModel.h"

namespace virtualmac {

// A request the machine cannot carry out (a fan it does not have, a fault its hardware
// cannot show); the text says why.
class MachineRequestError : public std::invalid_argument {
  public:
    using std::invalid_argument::invalid_argument;
};

struct MachineFanStatus {
    double actualRPM = 0;
    double targetRPM = 0;
    double minimumRPM = 0;
    double maximumRPM = 0;
    bool manual = false;
};

struct MachineTemperature {
    std::string name;  // SMC key or HID product name
    double celsius = 0;
};

struct MachineStatus {
    std::string profile;
    double simulatedSeconds = 0;
    double cpuLoadPercent = 0;
    double gpuLoadPercent = 0;
    double cpuCelsius = 0;
    double gpuCelsius = 0;
    std::vector<MachineFanStatus> fans;
    std::vector<std::string> faults;  // active faults, one line each
};

// One simulated Mac: the SMC its clients talk to, the thermal model behind it and the HID
// temperature sensors. `tick` couples them: modes and targets written through the SMC drive
// the model, and the model's temperatures and fan speeds appear in the SMC keys. Thread-safe;
// the machine's lock is taken before the SMC's, never the other way round.
class VirtualMachine {
  public:
    explicit VirtualMachine(MachineProfile profile);

    const MachineProfile& profile() const { return profile_; }
    // The SMC behind the machine's fans; shared with the IOKit backends.
    std::shared_ptr<SimulatedSMC> smc() const { return smc_; }
    // The devices served to clients as IOKit services: the SMC, unless the profile has none.
    std::vector<std::shared_ptr<platform::iokit::UserClientDevice>> services() const;
    // The HID temperature services, one per sensor of the profile, in the profile's order.
    std::shared_ptr<SimulatedHIDSystem> hid() const { return hid_; }

    // Publishes "hw.model" and "machdep.cpu.brand_string" under the platform root.
    void publishIdentity() const;

    // Advances simulated time. Throws std::invalid_argument for a negative or non-finite step.
    void tick(double seconds);

    // Loads in percent, 0 to 100; an absent value leaves that load as it is.
    void setLoad(std::optional<double> cpuPercent, std::optional<double> gpuPercent);

    MachineStatus status() const;
    // Every HID temperature service's product name and current reading, in service order.
    std::vector<MachineTemperature> hidTemperatures() const;
    // Every published SMC temperature key and its current reading.
    std::vector<MachineTemperature> smcTemperatures() const;

    // Faults; each throws MachineRequestError when this machine cannot show it.
    void refuseWrites(const std::string& key, std::uint8_t result = 0x86);
    void injectResult(const std::string& key, std::uint8_t result);
    void dropManualMode(std::size_t fan);
    void keepMaskBits();
    void stickForceTest();
    // Another application switches the fan to manual mode and writes a target.
    void takeFanManual(std::size_t fan, double rpm);
    // Every SMC temperature key answers "not readable" and no HID sensor has a reading.
    void makeTemperaturesUnreadable();
    void clearFaults();

  private:
    using Lock = std::lock_guard<std::mutex>;

    double celsiusOf(HeatSource source, double offset) const;
    void publishTemperaturesLocked();
    void publishHIDTemperaturesLocked();
    void requireKeyLocked(const std::string& key) const;
    void requireFanLocked(std::size_t fan) const;

    MachineProfile profile_;
    std::shared_ptr<SimulatedSMC> smc_;
    std::shared_ptr<SimulatedHIDSystem> hid_ = std::make_shared<SimulatedHIDSystem>();
    mutable std::mutex mutex_;
    ThermalModel model_;
    double simulatedSeconds_ = 0;
    std::vector<std::string> refusedKeys_;
    std::vector<std::string> injectedKeys_;
    std::vector<std::size_t> droppingFans_;
    bool temperaturesUnreadable_ = false;
    std::vector<std::string> faults_;
};

}  // namespace virtualmac
