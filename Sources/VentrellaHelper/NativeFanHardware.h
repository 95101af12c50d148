#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "SMCFanKit/FanController.h"
#include "SMCKit/SMCConnection.h"
#include "VentrellaHardware/SMCFanControlMechanism.h"
#include "VentrellaHardware/SMCFanRepository.h"
#include "VentrellaShared/FanControlHardware.h"

namespace ventrella::helper {

// The engine's fans on the SMC. The connection and fan controller are opened by the first call
// that finds a control mechanism and kept for the process's life; the repository, and so the
// mechanism, is rebuilt for every call. Used from the controller's queue only.
class NativeFanHardware final : public shared::FanControlHardware {
  public:
    using ConnectionFactory = std::function<std::shared_ptr<smc::SMCConnection>()>;

    // Time the SMC needs to hand the fans back before they are read again.
    static constexpr double restoreSettleSeconds = 0.5;

    struct Dependencies {
        ConnectionFactory openConnection;               // empty: a new SMCConnection
        std::function<void(double)> sleep;              // empty: sleeping the thread
        fan::FanController::Clock controllerClock;      // empty: the controller's default
        fan::FanController::Sleeper controllerSleeper;  // empty: the controller's default
    };

    NativeFanHardware();
    explicit NativeFanHardware(Dependencies dependencies);

    void validateControlSupport() override;
    std::vector<shared::FanInfo> readFans() override;
    void enableManualMode(std::int64_t fanID) override;
    void writeTargetRPM(std::int64_t fanID, std::int64_t rpm) override;
    std::vector<shared::FanInfo> verifyManualTargets(const shared::FanTargets& targets) override;
    // Collects every problem instead of stopping at the first; throws one HelperError with all
    // of them joined by "; ".
    std::vector<shared::FanInfo> restoreAutomatic() override;

  private:
    struct Session {
        std::shared_ptr<smc::SMCConnection> connection;
        std::shared_ptr<fan::FanController> controller;
        hardware::SMCFanRepository repository;
        hardware::SMCFanControlMechanism mechanism;
    };

    Session ensureSession();
    static std::uint16_t readLegacyMask(smc::SMCConnection& connection, const std::string& key);
    static void writeLegacyMask(smc::SMCConnection& connection, const std::string& key,
                                std::uint16_t mask);

    Dependencies dependencies_;
    std::shared_ptr<smc::SMCConnection> connection_;
    std::shared_ptr<fan::FanController> controller_;
};

}  // namespace ventrella::helper
