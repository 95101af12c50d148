#include "Platform/VirtualMac/VirtualMachine.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>

#include "Platform/Foundation/Sysctl.h"
#include "Platform/VirtualMac/SMCFirmwareResult.h"

namespace virtualmac {

namespace {

constexpr std::size_t kJournalLimit = 4096;

std::vector<FanLimits> fanLimits(const SimulatedSMCConfiguration& smc) {
    std::vector<FanLimits> fans;
    for (const auto& fan : smc.fans) {
        fans.push_back(FanLimits{fan.minimumRPM, fan.maximumRPM});
    }
    return fans;
}

// A temperature in the key's own type: "sp78" signed 16-bit big-endian in 1/256 °C, "flt "
// a little-endian float.
std::vector<std::uint8_t> encodeTemperature(const std::string& dataType, double celsius) {
    if (dataType == "sp78") {
        const auto raw =
            static_cast<std::int16_t>(std::clamp(std::round(celsius * 256.0), -32768.0, 32767.0));
        const auto bits = static_cast<std::uint16_t>(raw);
        return {static_cast<std::uint8_t>(bits >> 8), static_cast<std::uint8_t>(bits & 0xff)};
    }
    const auto bits = std::bit_cast<std::uint32_t>(static_cast<float>(celsius));
    return {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
            static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)};
}

std::string hexByte(std::uint8_t value) {
    char text[8] = "0x";
    auto [end, error] = std::to_chars(text + 2, text + sizeof text, value, 16);
    (void)error;
    return std::string(text, end);
}

std::string numberText(double value) {
    char text[32];
    auto [end, error] = std::to_chars(text, text + sizeof text, value);
    (void)error;
    return std::string(text, end);
}

double percentToFraction(double percent, const char* what) {
    if (!std::isfinite(percent) || percent < 0 || percent > 100) {
        throw MachineRequestError(std::string(what) + " load must be a number from 0 to 100");
    }
    return percent / 100.0;
}

}  // namespace

VirtualMachine::VirtualMachine(MachineProfile profile)
    : profile_(std::move(profile)),
      smc_(std::make_shared<SimulatedSMC>(profile_.smc)),
      model_(fanLimits(profile_.smc)) {
    // The machine serves for hours; its SMC keeps only a recent window of calls.
    smc_->setJournalLimit(kJournalLimit);
    for (const auto& key : profile_.temperatureKeys) {
        smc_->defineKey(key.key, key.dataType, encodeTemperature(key.dataType, 0));
    }
    for (const auto& sensor : profile_.hidSensors) {
        hid_->addService(SimulatedHIDSystem::temperatureSensor(sensor.product, std::nullopt));
    }
    Lock lock(mutex_);
    publishTemperaturesLocked();
    publishHIDTemperaturesLocked();
    for (std::size_t fan = 0; fan < model_.fanCount(); ++fan) {
        smc_->setAutomaticTarget(fan, model_.fan(fan).targetRPM);
        smc_->setActualSpeed(fan, model_.fan(fan).actualRPM);
    }
}

std::vector<std::shared_ptr<platform::iokit::UserClientDevice>> VirtualMachine::services() const {
    if (!profile_.hasSMC) {
        return {};
    }
    return {smc_};
}

void VirtualMachine::publishIdentity() const {
    platform::foundation::publishSysctlValue("hw.model", profile_.hardwareModel);
    platform::foundation::publishSysctlValue("machdep.cpu.brand_string", profile_.brandString);
}

double VirtualMachine::celsiusOf(HeatSource source, double offset) const {
    switch (source) {
        case HeatSource::cpu:
            return model_.cpuTemperature() + offset;
        case HeatSource::gpu:
            return model_.gpuTemperature() + offset;
        case HeatSource::ambient:
            break;
    }
    // Boards and batteries warm with the dies, far less.
    const double dies = std::max(model_.cpuTemperature(), model_.gpuTemperature());
    return thermal::kAmbientCelsius + offset + 0.2 * (dies - thermal::kAmbientCelsius);
}

void VirtualMachine::publishTemperaturesLocked() {
    for (const auto& key : profile_.temperatureKeys) {
        smc_->setRawBytes(
            key.key, encodeTemperature(key.dataType, celsiusOf(key.source, key.offsetCelsius)));
    }
}

void VirtualMachine::publishHIDTemperaturesLocked() {
    for (std::size_t index = 0; index < profile_.hidSensors.size(); ++index) {
        const auto& sensor = profile_.hidSensors[index];
        hid_->setTemperature(index,
                             temperaturesUnreadable_
                                 ? std::nullopt
                                 : std::optional(celsiusOf(sensor.source, sensor.offsetCelsius)));
    }
}

void VirtualMachine::tick(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) {
        throw std::invalid_argument("a tick must be finite and not negative");
    }
    Lock lock(mutex_);
    // What clients wrote through the SMC drives the fans.
    for (std::size_t fan = 0; fan < model_.fanCount(); ++fan) {
        const bool manual = smc_->isFanManual(fan);
        model_.setFanMode(fan, manual ? FanMode::manual : FanMode::automatic);
        const double target = smc_->targetSpeed(fan);
        if (manual && std::isfinite(target)) {
            model_.setFanTarget(fan, target);
        }
    }
    model_.advance(seconds);
    simulatedSeconds_ += seconds;
    for (std::size_t fan = 0; fan < model_.fanCount(); ++fan) {
        const FanState& state = model_.fan(fan);
        if (state.mode == FanMode::automatic) {
            // Leaves a fan alone that a client has just switched to manual.
            smc_->setAutomaticTarget(fan, state.targetRPM);
        }
        smc_->setActualSpeed(fan, state.actualRPM);
    }
    publishTemperaturesLocked();
    publishHIDTemperaturesLocked();
}

void VirtualMachine::setLoad(std::optional<double> cpuPercent, std::optional<double> gpuPercent) {
    const auto cpu =
        cpuPercent ? std::optional(percentToFraction(*cpuPercent, "CPU")) : std::nullopt;
    const auto gpu =
        gpuPercent ? std::optional(percentToFraction(*gpuPercent, "GPU")) : std::nullopt;
    Lock lock(mutex_);
    if (cpu) {
        model_.setCpuLoad(*cpu);
    }
    if (gpu) {
        model_.setGpuLoad(*gpu);
    }
}

MachineStatus VirtualMachine::status() const {
    Lock lock(mutex_);
    MachineStatus status;
    status.profile = profile_.name;
    status.simulatedSeconds = simulatedSeconds_;
    status.cpuLoadPercent = model_.cpuLoad() * 100.0;
    status.gpuLoadPercent = model_.gpuLoad() * 100.0;
    status.cpuCelsius = model_.cpuTemperature();
    status.gpuCelsius = model_.gpuTemperature();
    for (std::size_t fan = 0; fan < model_.fanCount(); ++fan) {
        const FanState& state = model_.fan(fan);
        status.fans.push_back(MachineFanStatus{smc_->actualSpeed(fan), smc_->targetSpeed(fan),
                                               state.minimumRPM, state.maximumRPM,
                                               smc_->isFanManual(fan)});
    }
    status.faults = faults_;
    return status;
}

std::vector<MachineTemperature> VirtualMachine::hidTemperatures() const {
    Lock lock(mutex_);
    std::vector<MachineTemperature> readings;
    for (const auto& sensor : profile_.hidSensors) {
        readings.push_back({sensor.product, celsiusOf(sensor.source, sensor.offsetCelsius)});
    }
    return readings;
}

std::vector<MachineTemperature> VirtualMachine::smcTemperatures() const {
    Lock lock(mutex_);
    std::vector<MachineTemperature> readings;
    for (const auto& key : profile_.temperatureKeys) {
        readings.push_back({key.key, celsiusOf(key.source, key.offsetCelsius)});
    }
    return readings;
}

void VirtualMachine::requireKeyLocked(const std::string& key) const {
    if (!profile_.hasSMC) {
        throw MachineRequestError("this machine has no SMC");
    }
    if (key.size() != 4) {
        throw MachineRequestError("an SMC key has exactly four characters: \"" + key + "\"");
    }
    if (!smc_->key(key)) {
        throw MachineRequestError("this machine has no SMC key \"" + key + "\"");
    }
}

void VirtualMachine::requireFanLocked(std::size_t fan) const {
    if (fan >= model_.fanCount()) {
        throw MachineRequestError("this machine has no fan " + std::to_string(fan) + " (it has " +
                                  std::to_string(model_.fanCount()) + ")");
    }
}

void VirtualMachine::refuseWrites(const std::string& key, std::uint8_t result) {
    Lock lock(mutex_);
    requireKeyLocked(key);
    smc_->refuseWrites(key, result);
    refusedKeys_.push_back(key);
    faults_.push_back("writes to \"" + key + "\" refused with " + hexByte(result));
}

void VirtualMachine::injectResult(const std::string& key, std::uint8_t result) {
    Lock lock(mutex_);
    requireKeyLocked(key);
    smc_->injectResult(key, result);
    injectedKeys_.push_back(key);
    faults_.push_back("every command on \"" + key + "\" answers " + hexByte(result));
}

void VirtualMachine::dropManualMode(std::size_t fan) {
    Lock lock(mutex_);
    requireFanLocked(fan);
    smc_->setFanDropsManualMode(fan, true);
    droppingFans_.push_back(fan);
    faults_.push_back("fan " + std::to_string(fan) + " does not stay manual");
}

void VirtualMachine::keepMaskBits() {
    Lock lock(mutex_);
    if (profile_.smc.modeKeys != SimulatedSMCConfiguration::ModeKeys::legacyMask) {
        throw MachineRequestError("this machine has no manual mask \"FS! \"");
    }
    smc_->setMaskIgnoresClearing(true);
    faults_.push_back("the manual mask \"FS! \" does not clear");
}

void VirtualMachine::stickForceTest() {
    Lock lock(mutex_);
    if (!profile_.smc.hasForceTest) {
        throw MachineRequestError("this machine has no \"Ftst\" key");
    }
    smc_->setForceTestStuck(true);
    faults_.push_back("\"Ftst\" stuck at 1");
}

void VirtualMachine::takeFanManual(std::size_t fan, double rpm) {
    Lock lock(mutex_);
    requireFanLocked(fan);
    if (!std::isfinite(rpm) || rpm < 0 || rpm > model_.fan(fan).maximumRPM) {
        throw MachineRequestError("the speed must lie from 0 to the fan's maximum, " +
                                  numberText(model_.fan(fan).maximumRPM) + " RPM");
    }
    using ModeKeys = SimulatedSMCConfiguration::ModeKeys;
    switch (profile_.smc.modeKeys) {
        case ModeKeys::lowerCase:
        case ModeKeys::upperCase:
            // The other application has unlocked fan control as it must on this machine.
            if (profile_.smc.hasForceTest) {
                smc_->setRawBytes("Ftst", {1});
            }
            smc_->setModeByte(fan, 1);
            break;
        case ModeKeys::legacyMask: {
            auto mask = smc_->key("FS! ")->bytes;
            mask.resize(2);
            const auto value = static_cast<std::uint16_t>((mask[0] << 8 | mask[1]) | 1u << fan);
            smc_->setRawBytes("FS! ", {static_cast<std::uint8_t>(value >> 8),
                                       static_cast<std::uint8_t>(value & 0xff)});
            break;
        }
        case ModeKeys::none:
            throw MachineRequestError("this machine has no way to switch a fan to manual mode");
    }
    smc_->setSpeedValue("F" + std::to_string(fan) + "Tg", rpm);
}

void VirtualMachine::makeTemperaturesUnreadable() {
    Lock lock(mutex_);
    if (profile_.temperatureKeys.empty() && profile_.hidSensors.empty()) {
        throw MachineRequestError("this machine has no temperature sensors");
    }
    if (temperaturesUnreadable_) {
        return;
    }
    for (const auto& key : profile_.temperatureKeys) {
        smc_->injectResult(key.key, smcresult::notReadable);
        injectedKeys_.push_back(key.key);
    }
    temperaturesUnreadable_ = true;
    publishHIDTemperaturesLocked();
    faults_.push_back("temperature sensors unreadable");
}

void VirtualMachine::clearFaults() {
    Lock lock(mutex_);
    for (const auto& key : refusedKeys_) {
        smc_->allowWrites(key);
    }
    for (const auto& key : injectedKeys_) {
        smc_->clearInjectedResult(key);
    }
    for (const std::size_t fan : droppingFans_) {
        smc_->setFanDropsManualMode(fan, false);
    }
    smc_->setMaskIgnoresClearing(false);
    smc_->setForceTestStuck(false);
    temperaturesUnreadable_ = false;
    publishHIDTemperaturesLocked();
    refusedKeys_.clear();
    injectedKeys_.clear();
    droppingFans_.clear();
    faults_.clear();
}

}  // namespace virtualmac
