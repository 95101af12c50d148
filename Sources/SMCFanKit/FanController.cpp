#include "SMCFanKit/FanController.h"

#include <charconv>
#include <string>
#include <utility>
#include <vector>

#include "AppLog/AppLog.h"
#include "Platform/Foundation/Clock.h"
#include "SMCFanKit/SMCFanKey.h"
#include "SMCKit/SMCConnection.h"
#include "SMCKit/SMCError.h"

namespace ventrella::fan {

using applog::pub;
using smc::SMCConnection;
using smc::SMCError;

namespace {

constexpr double unlockSettleSeconds = 0.5;
constexpr double retryIntervalSeconds = 0.1;
constexpr int manualModeMaxRetries = 100;
constexpr double manualModeTimeoutSeconds = 10.0;

applog::AppLog::Channel channel() {
    return applog::AppLog::make("FanControl");
}

// "%.2f" without the locale's decimal separator.
std::string seconds(double value) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
    return std::string(buffer, result.ptr) + "s";
}

void runUnlock(SMCConnection& connection, const SMCHardwareConfig& config,
               const FanController::Clock& clock, const FanController::Sleeper& sleeper,
               int fanIndex, int maxRetries, double timeout) {
    maxRetries = std::max(maxRetries, 0);
    channel().debug(applog::AppLogMessage()
                    << "fan.ftst.write fan=" << pub(fanIndex) << " value=1");
    connection.writeKey(std::string(SMCFanKey::forceTest), {1});
    sleeper(unlockSettleSeconds);

    double start = clock();
    double deadline = start + timeout;
    std::string modeKey = SMCFanKey::key(config.modeKeyFormat, fanIndex);
    for (int attempt = 1; attempt <= maxRetries; ++attempt) {
        try {
            connection.writeKey(modeKey, {1});
            channel().debug(applog::AppLogMessage()
                            << "fan.ftst.unlocked fan=" << pub(fanIndex) << " attempts="
                            << pub(attempt) << " elapsed=" << pub(seconds(clock() - start)));
            return;
        } catch (const SMCError&) {
            double now = clock();
            if (now >= deadline) {
                channel().error(applog::AppLogMessage()
                                << "fan.ftst.timeout fan=" << pub(fanIndex) << " attempts="
                                << pub(attempt) << " elapsed=" << pub(seconds(now - start)));
                throw SMCError::timeout();
            }
            sleeper(retryIntervalSeconds);
        }
    }
    channel().error(applog::AppLogMessage() << "fan.ftst.exhausted fan=" << pub(fanIndex)
                                            << " maxRetries=" << pub(maxRetries)
                                            << " elapsed=" << pub(seconds(clock() - start)));
    throw SMCError::timeout();
}

}  // namespace

FanController::Clock FanController::defaultClock() {
    return platform::foundation::systemUptimeSeconds;
}

FanController::Sleeper FanController::defaultSleeper() {
    return platform::foundation::sleepForSeconds;
}

FanController::FanController(std::shared_ptr<SMCConnection> connection, Clock clock,
                             Sleeper sleeper)
    : connection_(std::move(connection)),
      config_(SMCHardwareConfig::detectHardwareKeys(*connection_)),
      clock_(std::move(clock)),
      sleeper_(std::move(sleeper)) {}

FanController::FanController(std::shared_ptr<SMCConnection> connection,
                             SMCHardwareConfig hardwareConfig, Clock clock, Sleeper sleeper)
    : connection_(std::move(connection)),
      config_(std::move(hardwareConfig)),
      clock_(std::move(clock)),
      sleeper_(std::move(sleeper)) {}

FanControlStrategy FanController::enableManualMode(int fanIndex) {
    std::string modeKey = SMCFanKey::key(config_.modeKeyFormat, fanIndex);
    try {
        connection_->writeKey(modeKey, {1});
        channel().debug(applog::AppLogMessage()
                        << "fan.manual.enabled fan=" << pub(fanIndex) << " modeKey=" << pub(modeKey)
                        << " strategy=direct");
        return FanControlStrategy::direct;
    } catch (const SMCError&) {
        channel().debug(applog::AppLogMessage() << "fan.manual.direct.failed fan=" << pub(fanIndex)
                                                << " modeKey=" << pub(modeKey)
                                                << " ftstAvailable=" << pub(config_.ftstAvailable));
    }
    if (!config_.ftstAvailable) {
        channel().error(applog::AppLogMessage()
                        << "fan.manual.failed fan=" << pub(fanIndex) << " reason=no-ftst");
        throw SMCError::firmware(smc::SMCResultCode::notFound);
    }
    channel().debug(applog::AppLogMessage() << "fan.manual.ftst.start fan=" << pub(fanIndex));
    unlockFanControlSync(fanIndex, manualModeMaxRetries, manualModeTimeoutSeconds);
    channel().debug(applog::AppLogMessage()
                    << "fan.manual.enabled fan=" << pub(fanIndex) << " strategy=ftstUnlock");
    return FanControlStrategy::ftstUnlock;
}

void FanController::unlockFanControlSync(int fanIndex, int maxRetries, double timeout) {
    runUnlock(*connection_, config_, clock_, sleeper_, fanIndex, maxRetries, timeout);
}

std::future<void> FanController::unlockFanControl(int fanIndex, int maxRetries, double timeout) {
    return std::async(
        std::launch::async, [connection = connection_, config = config_, clock = clock_,
                             sleeper = sleeper_, fanIndex, maxRetries, timeout] {
            runUnlock(*connection, config, clock, sleeper, fanIndex, maxRetries, timeout);
        });
}

void FanController::resetFanControl() {
    channel().debug("fan.ftst.reset value=0");
    connection_->writeKey(std::string(SMCFanKey::forceTest), {0});
    channel().notice("fan.control.reset.done");
}

}  // namespace ventrella::fan
