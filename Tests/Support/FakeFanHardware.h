#pragma once

#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Support/CallLog.h"
#include "VentrellaShared/FanControlHardware.h"

namespace ventrella::fakes {

// Scriptable fans. By default they follow writes: manual mode and targets stick, and a restore
// puts every fan back in Apple Automatic. Each call is logged as "hardware.<operation>", then
// `onCall` runs (to jump a clock or change the fans mid-operation), then a queued error for
// that operation is thrown, else a queued read is returned, else the fans act normally.
// Operation names: validateControlSupport, readFans, enableManualMode, writeTargetRPM,
// verifyManualTargets, restoreAutomatic.
class FakeFanHardware : public shared::FanControlHardware {
  public:
    explicit FakeFanHardware(std::shared_ptr<CallLog> log, std::vector<shared::FanInfo> fans = {})
        : fans(std::move(fans)), log_(std::move(log)) {}

    std::vector<shared::FanInfo> fans;
    // False: the hardware ignores manual mode and target writes (fans that do not stick).
    bool followWrites = true;
    std::function<void(const std::string& call)> onCall;

    void failNext(const std::string& operation, std::exception_ptr error) {
        errors_[operation].push_back(std::move(error));
    }
    template <class Error>
    void failNext(const std::string& operation, Error error) {
        failNext(operation, std::make_exception_ptr(std::move(error)));
    }
    // The next read of the operation returns these fans instead of the current ones.
    void scriptNextRead(const std::string& operation, std::vector<shared::FanInfo> result) {
        reads_[operation].push_back(std::move(result));
    }

    void validateControlSupport() override { begin("validateControlSupport", ""); }

    std::vector<shared::FanInfo> readFans() override {
        begin("readFans", "");
        return read("readFans");
    }

    void enableManualMode(std::int64_t fanID) override {
        begin("enableManualMode", "(" + std::to_string(fanID) + ")");
        if (auto* fan = find(fanID); fan && followWrites) {
            fan->mode = shared::FanControlMode::manual;
        }
    }

    void writeTargetRPM(std::int64_t fanID, std::int64_t rpm) override {
        begin("writeTargetRPM", "(" + std::to_string(fanID) + "," + std::to_string(rpm) + ")");
        if (auto* fan = find(fanID); fan && followWrites) {
            fan->targetRPM = static_cast<double>(rpm);
        }
    }

    std::vector<shared::FanInfo> verifyManualTargets(const shared::FanTargets&) override {
        begin("verifyManualTargets", "");
        return read("verifyManualTargets");
    }

    std::vector<shared::FanInfo> restoreAutomatic() override {
        begin("restoreAutomatic", "");
        for (auto& fan : fans) {
            fan.mode = shared::FanControlMode::automatic;
        }
        return read("restoreAutomatic");
    }

  private:
    void begin(const std::string& operation, const std::string& arguments) {
        std::string call = "hardware." + operation + arguments;
        log_->record(call);
        if (onCall) {
            onCall(call);
        }
        auto& queued = errors_[operation];
        if (!queued.empty()) {
            auto error = queued.front();
            queued.pop_front();
            std::rethrow_exception(error);
        }
    }

    std::vector<shared::FanInfo> read(const std::string& operation) {
        auto& queued = reads_[operation];
        if (queued.empty()) {
            return fans;
        }
        auto result = std::move(queued.front());
        queued.pop_front();
        return result;
    }

    shared::FanInfo* find(std::int64_t fanID) {
        for (auto& fan : fans) {
            if (fan.id == fanID) {
                return &fan;
            }
        }
        return nullptr;
    }

    std::shared_ptr<CallLog> log_;
    std::map<std::string, std::deque<std::exception_ptr>> errors_;
    std::map<std::string, std::deque<std::vector<shared::FanInfo>>> reads_;
};

}  // namespace ventrella::fakes
