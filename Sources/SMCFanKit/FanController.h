#pragma once

#include <functional>
#include <future>
#include <memory>

#include "SMCFanKit/FanControlStrategy.h"
#include "SMCFanKit/SMCHardwareConfig.h"

namespace ventrella::smc {
class SMCConnection;
}

namespace ventrella::fan {

// Switches one fan into manual mode through its mode key, unlocking fan control with "Ftst"
// when the SMC refuses the direct write, and resets "Ftst". Errors are SMCError values: write
// failures pass through unchanged, `firmware(notFound)` means no way into manual mode was found,
// `timeout` means the unlock gave up.
class FanController {
  public:
    // Seconds of a monotonic clock, and a blocking wait; tests inject virtual time.
    using Clock = std::function<double()>;
    using Sleeper = std::function<void(double)>;

    // Probes the connection for the mode key spelling and "Ftst".
    explicit FanController(std::shared_ptr<ventrella::smc::SMCConnection> connection,
                           Clock clock = defaultClock(), Sleeper sleeper = defaultSleeper());
    FanController(std::shared_ptr<ventrella::smc::SMCConnection> connection,
                  SMCHardwareConfig hardwareConfig, Clock clock = defaultClock(),
                  Sleeper sleeper = defaultSleeper());
    virtual ~FanController() = default;

    FanController(const FanController&) = delete;
    FanController& operator=(const FanController&) = delete;

    virtual FanControlStrategy enableManualMode(int fanIndex);
    // Writes "Ftst" = 1, waits 0.5 s, then retries the mode key every 0.1 s until it takes the
    // manual value, `maxRetries` attempts are spent (a negative count counts as zero) or
    // `timeout` seconds have passed.
    virtual void unlockFanControlSync(int fanIndex, int maxRetries, double timeout);
    // The same steps on a background thread. The task keeps its own references to the
    // connection, clock and sleeper, so it may outlive the controller.
    virtual std::future<void> unlockFanControl(int fanIndex, int maxRetries, double timeout);
    virtual void resetFanControl();

    const std::shared_ptr<ventrella::smc::SMCConnection>& connection() const { return connection_; }
    const SMCHardwareConfig& config() const { return config_; }

    static Clock defaultClock();
    static Sleeper defaultSleeper();

  private:
    std::shared_ptr<ventrella::smc::SMCConnection> connection_;
    SMCHardwareConfig config_;
    Clock clock_;
    Sleeper sleeper_;
};

}  // namespace ventrella::fan
