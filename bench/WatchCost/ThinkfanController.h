#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "WatchCost/StandInHwmon.h"
#include "WatchCost/WatchedController.h"

namespace ventrella::bench {

// The peer: Debian's thinkfan (1.3), the daemon a Linux user would pick to run fans from
// temperature limits, driving a StandInHwmon at the interval.
//
// thinkfan 1.3 opens its fan's pwm1_enable for writing (which truncates a plain file) and then
// reads it back to save the state it restores at exit; on a plain file that read finds nothing
// and it refuses to start. So it runs in a private mount namespace (root only) with a kernel
// attribute that behaves like the sysfs one bound over pwm1_enable: the oom_score_adj of an idle
// holder process ignores truncation, takes the number written to it and reads back the number.
// The namespace also gives it a /run of its own for its pid file. Its log goes to a
// pseudo-terminal (without one it writes to the system log or the console).
//
// Its levels, in simple mode: 0 up to 55 °C, 128 from 50 to 65 °C, 255 from 60 °C; the
// temperature starts at 45 °C and crosses to 60 °C.
class ThinkfanController final : public WatchedController {
  public:
    // `program`: thinkfan's path; empty when it is not installed.
    explicit ThinkfanController(std::filesystem::path program);
    ~ThinkfanController() override;

    // /usr/sbin/thinkfan or the first on PATH; empty when there is none.
    static std::filesystem::path findProgram();

    std::string description() const override;
    std::optional<std::string> unavailableReason() const override;
    pid_t start(std::chrono::seconds interval) override;
    Clock::time_point crossThreshold() override;
    void followUntil(Clock::time_point deadline) override;
    std::optional<Clock::time_point> targetReached() const override { return reachedAt_; }
    std::optional<int> cyclesSeen() const override { return cycles_; }
    void stop() override;

  private:
    void launch(const std::filesystem::path& config, std::chrono::seconds interval);
    void handleEvents();
    void readOutput();
    std::string lastOutput() const;

    std::filesystem::path program_;
    std::chrono::seconds interval_{};
    std::filesystem::path directory_;
    std::unique_ptr<StandInHwmon> hwmon_;
    pid_t holder_ = -1;
    pid_t daemon_ = -1;
    int output_ = -1;
    std::string outputTail_;
    std::optional<int> cycles_;
    std::optional<std::string> level_;
    std::optional<Clock::time_point> crossedAt_;
    std::optional<std::string> levelAtCrossing_;
    std::optional<Clock::time_point> reachedAt_;
};

}  // namespace ventrella::bench
