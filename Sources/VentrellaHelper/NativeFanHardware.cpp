#include "VentrellaHelper/NativeFanHardware.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <string>
#include <utility>

#include "Platform/Foundation/Clock.h"
#include "SMCFanKit/SMCFanKey.h"
#include "SMCFanKit/SMCHardwareConfig.h"
#include "VentrellaHardware/LegacyManualFanMask.h"
#include "VentrellaHardware/SMCValueDecoder.h"
#include "VentrellaHardware/SMCValueEncoder.h"
#include "VentrellaHelper/HelperError.h"
#include "VentrellaShared/ErrorDescription.h"

namespace ventrella::helper {

namespace {

const char* const noMechanism = "No verified SMC fan-control mode mechanism was found.";

std::string currentDescription() {
    return shared::errorDescription(std::current_exception());
}

}  // namespace

NativeFanHardware::NativeFanHardware() : NativeFanHardware(Dependencies{}) {}

NativeFanHardware::NativeFanHardware(Dependencies dependencies)
    : dependencies_(std::move(dependencies)) {
    if (!dependencies_.openConnection) {
        dependencies_.openConnection = [] { return std::make_shared<smc::SMCConnection>(); };
    }
    if (!dependencies_.sleep) {
        dependencies_.sleep = &platform::foundation::sleepForSeconds;
    }
    if (!dependencies_.controllerClock) {
        dependencies_.controllerClock = fan::FanController::defaultClock();
    }
    if (!dependencies_.controllerSleeper) {
        dependencies_.controllerSleeper = fan::FanController::defaultSleeper();
    }
}

NativeFanHardware::Session NativeFanHardware::ensureSession() {
    auto connection = connection_;
    auto controller = controller_;
    if (!connection || !controller) {
        connection = dependencies_.openConnection();
        controller = std::make_shared<fan::FanController>(
            connection, fan::SMCHardwareConfig::detectHardwareKeys(*connection),
            dependencies_.controllerClock, dependencies_.controllerSleeper);
    }
    // The mechanism is detected anew on every call; a session is kept only once one exists.
    hardware::SMCFanRepository repository(connection, std::nullopt);
    if (!repository.controlMechanism()) {
        throw HelperError(noMechanism);
    }
    connection_ = connection;
    controller_ = controller;
    auto mechanism = *repository.controlMechanism();
    return Session{std::move(connection), std::move(controller), std::move(repository),
                   std::move(mechanism)};
}

void NativeFanHardware::validateControlSupport() {
    (void)ensureSession().repository.validateControlSupport();
}

std::vector<shared::FanInfo> NativeFanHardware::readFans() {
    return ensureSession().repository.readFans(true);
}

std::uint16_t NativeFanHardware::readLegacyMask(smc::SMCConnection& connection,
                                                const std::string& key) {
    const auto value = connection.readKey(key);
    if (value.size != 2 || value.bytes.size() < 2) {
        throw HelperError("The legacy manual fan mask has an invalid size.");
    }
    return static_cast<std::uint16_t>((value.bytes[0] << 8) | value.bytes[1]);
}

void NativeFanHardware::writeLegacyMask(smc::SMCConnection& connection, const std::string& key,
                                        std::uint16_t mask) {
    connection.writeKey(
        key, {static_cast<std::uint8_t>(mask >> 8), static_cast<std::uint8_t>(mask & 0xff)});
}

void NativeFanHardware::enableManualMode(std::int64_t fanID) {
    auto session = ensureSession();
    // Fan ids come from the repository (0 to 8); anything beyond an int is never a fan.
    if (fanID < 0 || fanID > INT_MAX) {
        throw HelperError("Fan " + std::to_string(fanID) + " manual mode could not be verified.");
    }
    const int id = static_cast<int>(fanID);
    if (session.mechanism.isLegacyForcedMask()) {
        const std::string& key = session.mechanism.payload();
        const auto mask = readLegacyMask(*session.connection, key);
        writeLegacyMask(*session.connection, key,
                        hardware::LegacyManualFanMask::enabling(id, mask));
        const auto reread = readLegacyMask(*session.connection, key);
        if (!(id < 16 && hardware::LegacyManualFanMask::isManual(id, reread))) {
            throw HelperError("Fan " + std::to_string(fanID) +
                              " manual mode could not be verified.");
        }
        return;
    }
    (void)session.controller->enableManualMode(id);
}

void NativeFanHardware::writeTargetRPM(std::int64_t fanID, std::int64_t rpm) {
    auto session = ensureSession();
    const std::string key =
        fan::SMCFanKey::key(fan::SMCFanKey::target,
                            static_cast<int>(std::clamp<std::int64_t>(fanID, INT_MIN, INT_MAX)));
    const auto current = session.connection->readKey(key);
    const auto metadata = session.connection->metadata(key);
    // Decoding first refuses a type or size the codec does not know before anything is written.
    (void)hardware::SMCValueDecoder::floatValue(key, current.bytes, current.size,
                                                metadata.dataType);
    const double value = static_cast<double>(static_cast<float>(rpm));
    session.connection->writeKey(
        key, hardware::SMCValueEncoder::floatValue(value, key, metadata.size, metadata.dataType));
}

std::vector<shared::FanInfo> NativeFanHardware::verifyManualTargets(const shared::FanTargets&) {
    return ensureSession().repository.readFans(true);
}

std::vector<shared::FanInfo> NativeFanHardware::restoreAutomatic() {
    auto session = ensureSession();
    const int count = session.repository.fanCount(true);
    std::vector<std::string> issues;

    if (session.mechanism.isLegacyForcedMask()) {
        try {
            const std::string& key = session.mechanism.payload();
            const auto mask = readLegacyMask(*session.connection, key);
            writeLegacyMask(*session.connection, key,
                            hardware::LegacyManualFanMask::restoringAutomatic(count, mask));
            const auto reread = readLegacyMask(*session.connection, key);
            if (hardware::LegacyManualFanMask::restoringAutomatic(count, reread) != reread) {
                throw HelperError("The legacy manual fan mask could not be cleared.");
            }
        } catch (...) {
            issues.push_back("Legacy fan mode: " + currentDescription());
        }
    } else {
        for (int index = 0; index < count; ++index) {
            try {
                session.connection->writeKey(
                    fan::SMCFanKey::key(session.mechanism.payload(), index), {0});
            } catch (...) {
                issues.push_back("Fan " + std::to_string(index) + " mode: " + currentDescription());
            }
        }
        if (session.controller->config().ftstAvailable) {
            try {
                session.controller->resetFanControl();
                const auto value =
                    session.connection->readKey(std::string(fan::SMCFanKey::forceTest));
                if (value.size == 0 || value.bytes.empty() || value.bytes[0] != 0) {
                    throw HelperError("Ftst could not be verified as zero.");
                }
            } catch (...) {
                issues.push_back("Ftst: " + currentDescription());
            }
        }
    }

    dependencies_.sleep(restoreSettleSeconds);
    auto fans = session.repository.readFans(true);
    if (std::any_of(fans.begin(), fans.end(),
                    [](const shared::FanInfo& fan) { return !fan.isAutomatic(); })) {
        issues.push_back("Apple Automatic could not be verified on every fan.");
    }
    if (issues.empty()) {
        return fans;
    }
    std::string message;
    for (const auto& issue : issues) {
        if (!message.empty())
            message += "; ";
        message += issue;
    }
    throw HelperError(message);
}

}  // namespace ventrella::helper
