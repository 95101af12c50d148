#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "WatchCost/WatchedController.h"

namespace ventrella::bench {

// The application model, headless (watch-cost-model) against the helper on a simulated Mac:
// a private root with the bundle and helper installed, virtual-mac running the apple-silicon
// machine, and the model installed as the bundle's executable with a private HOME whose saved
// settings hold the interval and a Boost threshold of 52 °C entered on one sample (its exit at
// 47 °C, 55 %). The machine idles near 45 °C; the crossing raises the CPU load to 100 % and is
// the moment the simulated CPU temperature passes 52 °C. The target counts as reached when the
// model reports Boost, which it does only once the helper has verified the target on every
// fan, and the simulated fans show a manual target of at least the Boost share of their range.
//
// The machine's thermal model runs `speed` times faster than real time, so that the
// temperature passes the threshold within a fraction of the interval after the load rises.
class HeadlessModelController final : public WatchedController {
  public:
    struct Programs {
        std::filesystem::path model;
        std::filesystem::path helper;
        std::filesystem::path virtualMac;
        std::filesystem::path installScript;
    };

    explicit HeadlessModelController(Programs programs, double speed = 10);
    ~HeadlessModelController() override;

    std::string description() const override;
    std::optional<std::string> unavailableReason() const override;
    pid_t start(std::chrono::seconds interval) override;
    Clock::time_point crossThreshold() override;
    void followUntil(Clock::time_point deadline) override;
    std::optional<Clock::time_point> targetReached() const override { return reachedAt_; }
    std::optional<int> cyclesSeen() const override { return cycles_; }
    void stop() override;

  private:
    // Runs a program to its end with VIRTUAL_MAC_ROOT set; its exit status.
    int run(const std::vector<std::string>& arguments) const;
    void storeSettings(const std::filesystem::path& home, std::chrono::seconds interval) const;
    void launchModel(const std::filesystem::path& home);
    void readOutput();
    void handleLine(const std::string& line);
    // The machine's status, as `virtual-mac status --json` shows it.
    nlohmann::ordered_json machineStatus() const;
    bool fansShowBoost() const;

    Programs programs_;
    double speed_;
    std::chrono::seconds interval_{};
    std::filesystem::path root_;
    pid_t model_ = -1;
    int output_ = -1;
    std::string pending_;
    std::string outputTail_;
    bool enabled_ = false;
    std::optional<int> cycles_;
    std::optional<Clock::time_point> crossedAt_;
    std::optional<Clock::time_point> reachedAt_;
};

}  // namespace ventrella::bench
