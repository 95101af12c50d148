// Fan behaviour of the simulated SMC: automatic and manual modes, "Ftst" gating and the
// legacy "FS! " mask.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "Platform/VirtualMac/SimulatedSMC.h"
#include "Platform/VirtualMac/SimulatedSpeedCodec.h"

namespace virtualmac {

namespace {

constexpr const char* forceTestKey = "Ftst";
constexpr const char* legacyMaskKey = "FS! ";

std::uint16_t maskValue(const SimulatedSMCKey* key) {
    if (key == nullptr || key->bytes.size() < 2) {
        return 0;
    }
    return static_cast<std::uint16_t>(key->bytes[0] << 8 | key->bytes[1]);
}

}  // namespace

static_assert(SimulatedSMCConfiguration::maximumFans <= 16,
              "the legacy mask \"FS! \" has one bit per fan in 16 bits");

SimulatedSMC::SimulatedSMC(SimulatedSMCConfiguration configuration)
    : configuration_(std::move(configuration)) {
    if (configuration_.fans.size() > SimulatedSMCConfiguration::maximumFans) {
        throw std::invalid_argument("a simulated SMC has at most " +
                                    std::to_string(SimulatedSMCConfiguration::maximumFans) +
                                    " fans, \"F0Ac\" to \"F9Ac\", not " +
                                    std::to_string(configuration_.fans.size()));
    }
    Lock lock(mutex_);
    storeKey("#KEY", SimulatedSMCKey{"ui32", {0, 0, 0, 0}, true, false});
    storeKey("FNum", SimulatedSMCKey{"ui8 ", {static_cast<std::uint8_t>(fanCount())}, true, false});
    const auto& type = configuration_.speedType;
    for (std::size_t fan = 0; fan < configuration_.fans.size(); ++fan) {
        const auto& fanShape = configuration_.fans[fan];
        storeKey(
            fanKey("Ac", fan),
            SimulatedSMCKey{type, encodeSpeed(type, fanShape.automaticTargetRPM), true, false});
        storeKey(fanKey("Mn", fan),
                 SimulatedSMCKey{type, encodeSpeed(type, fanShape.minimumRPM), true, false});
        storeKey(fanKey("Mx", fan),
                 SimulatedSMCKey{type, encodeSpeed(type, fanShape.maximumRPM), true, false});
        storeKey(fanKey("Tg", fan),
                 SimulatedSMCKey{type, encodeSpeed(type, fanShape.automaticTargetRPM), true, true});
        const auto mode = modeKey(fan);
        if (!mode.empty()) {
            storeKey(mode, SimulatedSMCKey{"ui8 ", {0}, true, true});
        }
    }
    if (configuration_.modeKeys == SimulatedSMCConfiguration::ModeKeys::legacyMask) {
        storeKey(legacyMaskKey, SimulatedSMCKey{"ui16", {0, 0}, true, true});
    }
    if (configuration_.hasForceTest) {
        storeKey(forceTestKey, SimulatedSMCKey{"ui8 ", {0}, true, true});
    }
}

std::size_t SimulatedSMC::fanCount() const {
    return configuration_.fans.size();
}

std::string SimulatedSMC::fanKey(const char* suffix, std::size_t fan) const {
    return "F" + std::to_string(fan) + suffix;
}

std::string SimulatedSMC::modeKey(std::size_t fan) const {
    switch (configuration_.modeKeys) {
        case SimulatedSMCConfiguration::ModeKeys::lowerCase:
            return fanKey("md", fan);
        case SimulatedSMCConfiguration::ModeKeys::upperCase:
            return fanKey("Md", fan);
        default:
            return {};
    }
}

bool SimulatedSMC::isModeControlKey(const std::string& name) const {
    if (name == legacyMaskKey) {
        return true;
    }
    for (std::size_t fan = 0; fan < fanCount(); ++fan) {
        if (!modeKey(fan).empty() && name == modeKey(fan)) {
            return true;
        }
    }
    return false;
}

bool SimulatedSMC::forceTestUnlocked() const {
    const auto* key = findKey(forceTestKey);
    return key != nullptr && !key->bytes.empty() && key->bytes[0] == 1;
}

bool SimulatedSMC::isAutomaticValue(const SMCCallRecord& write) {
    const auto count = std::min<std::size_t>(write.dataSize, write.bytes.size());
    return std::all_of(write.bytes.begin(),
                       write.bytes.begin() + static_cast<std::ptrdiff_t>(count),
                       [](std::uint8_t byte) { return byte == 0; });
}

bool SimulatedSMC::manualLocked(std::size_t fan) const {
    if (configuration_.modeKeys == SimulatedSMCConfiguration::ModeKeys::legacyMask) {
        return fan < 16 && (maskValue(findKey(legacyMaskKey)) >> fan & 1) != 0;
    }
    const auto name = modeKey(fan);
    const auto* key = name.empty() ? nullptr : findKey(name);
    return key != nullptr && !key->bytes.empty() && key->bytes[0] == 1;
}

double SimulatedSMC::speedLocked(const std::string& name) const {
    const auto* key = findKey(name);
    return key == nullptr ? 0.0 : decodeSpeed(key->dataType, key->bytes);
}

void SimulatedSMC::setSpeedLocked(const std::string& name, double rpm) {
    auto* key = findKey(name);
    if (key != nullptr) {
        key->bytes = encodeSpeed(key->dataType, rpm);
    }
}

void SimulatedSMC::returnToAutomaticLocked(std::size_t fan) {
    setSpeedLocked(fanKey("Tg", fan), configuration_.fans[fan].automaticTargetRPM);
}

void SimulatedSMC::afterWriteLocked(const std::string& name) {
    for (std::size_t fan = 0; fan < fanCount(); ++fan) {
        const bool manual = manualLocked(fan);
        if (name == fanKey("Tg", fan) && !manual) {
            // In automatic mode the firmware keeps driving its own target.
            returnToAutomaticLocked(fan);
        }
        if (isModeControlKey(name) && !manual) {
            returnToAutomaticLocked(fan);
        }
    }
    if (name == forceTestKey && !forceTestUnlocked()) {
        // Locking fan control again hands every fan back to the firmware.
        for (std::size_t fan = 0; fan < fanCount(); ++fan) {
            const auto mode = modeKey(fan);
            if (auto* key = mode.empty() ? nullptr : findKey(mode); key != nullptr) {
                std::fill(key->bytes.begin(), key->bytes.end(), 0);
            }
            returnToAutomaticLocked(fan);
        }
        if (auto* mask = findKey(legacyMaskKey); mask != nullptr) {
            std::fill(mask->bytes.begin(), mask->bytes.end(), 0);
        }
    }
    if (configuration_.actualFollowsTargetInstantly) {
        updateActualSpeedsLocked();
    }
}

void SimulatedSMC::applyWriteFaultsLocked(const std::string& name,
                                          const std::vector<std::uint8_t>& previous) {
    auto* key = findKey(name);
    if (key == nullptr) {
        return;
    }
    if (name == legacyMaskKey && maskIgnoresClearing_) {
        for (std::size_t index = 0; index < key->bytes.size() && index < previous.size(); ++index) {
            key->bytes[index] |= previous[index];
        }
    }
    if (name == forceTestKey && forceTestStuck_) {
        std::fill(key->bytes.begin(), key->bytes.end(), 0);
        if (!key->bytes.empty()) {
            key->bytes[0] = 1;
        }
    }
}

void SimulatedSMC::dropManualModesLocked() {
    for (const std::size_t fan : fansDroppingManual_) {
        if (fan >= fanCount() || !manualLocked(fan)) {
            continue;
        }
        if (configuration_.modeKeys == SimulatedSMCConfiguration::ModeKeys::legacyMask) {
            if (auto* mask = findKey(legacyMaskKey); mask != nullptr && fan < 16) {
                const auto value = static_cast<std::uint16_t>(maskValue(mask) & ~(1u << fan));
                mask->bytes = {static_cast<std::uint8_t>(value >> 8),
                               static_cast<std::uint8_t>(value & 0xff)};
            }
        } else if (auto* key = findKey(modeKey(fan)); key != nullptr) {
            std::fill(key->bytes.begin(), key->bytes.end(), 0);
        }
        returnToAutomaticLocked(fan);
    }
    if (!fansDroppingManual_.empty() && configuration_.actualFollowsTargetInstantly) {
        updateActualSpeedsLocked();
    }
}

void SimulatedSMC::setFanDropsManualMode(std::size_t fan, bool drops) {
    Lock lock(mutex_);
    if (fan >= fanCount()) {
        throw std::out_of_range("no such simulated fan");
    }
    if (drops) {
        fansDroppingManual_.insert(fan);
    } else {
        fansDroppingManual_.erase(fan);
    }
}

void SimulatedSMC::setMaskIgnoresClearing(bool ignores) {
    Lock lock(mutex_);
    maskIgnoresClearing_ = ignores;
}

void SimulatedSMC::setForceTestStuck(bool stuck) {
    Lock lock(mutex_);
    forceTestStuck_ = stuck;
    if (auto* key = findKey(forceTestKey); stuck && key != nullptr && !key->bytes.empty()) {
        key->bytes[0] = 1;
    }
}

void SimulatedSMC::updateActualSpeedsLocked() {
    for (std::size_t fan = 0; fan < fanCount(); ++fan) {
        const double driven = manualLocked(fan) ? speedLocked(fanKey("Tg", fan))
                                                : configuration_.fans[fan].automaticTargetRPM;
        setSpeedLocked(fanKey("Ac", fan), driven);
    }
}

void SimulatedSMC::updateActualSpeeds() {
    Lock lock(mutex_);
    updateActualSpeedsLocked();
}

bool SimulatedSMC::isFanManual(std::size_t fan) const {
    Lock lock(mutex_);
    return manualLocked(fan);
}

double SimulatedSMC::actualSpeed(std::size_t fan) const {
    Lock lock(mutex_);
    return speedLocked(fanKey("Ac", fan));
}

double SimulatedSMC::targetSpeed(std::size_t fan) const {
    Lock lock(mutex_);
    return speedLocked(fanKey("Tg", fan));
}

void SimulatedSMC::setAutomaticTarget(std::size_t fan, double rpm) {
    Lock lock(mutex_);
    if (fan >= fanCount()) {
        throw std::out_of_range("no such simulated fan");
    }
    configuration_.fans[fan].automaticTargetRPM = rpm;
    if (!manualLocked(fan)) {
        returnToAutomaticLocked(fan);
        if (configuration_.actualFollowsTargetInstantly) {
            updateActualSpeedsLocked();
        }
    }
}

void SimulatedSMC::setActualSpeed(std::size_t fan, double rpm) {
    Lock lock(mutex_);
    setSpeedLocked(fanKey("Ac", fan), rpm);
}

void SimulatedSMC::setFanCountByte(std::uint8_t count) {
    Lock lock(mutex_);
    if (auto* key = findKey("FNum"); key != nullptr) {
        key->bytes = {count};
    }
}

void SimulatedSMC::setModeByte(std::size_t fan, std::uint8_t mode) {
    Lock lock(mutex_);
    const auto name = modeKey(fan);
    if (auto* key = name.empty() ? nullptr : findKey(name); key != nullptr) {
        key->bytes = {mode};
    }
}

void SimulatedSMC::setSpeedValue(const std::string& name, double rpm) {
    Lock lock(mutex_);
    setSpeedLocked(name, rpm);
}

}  // namespace virtualmac
