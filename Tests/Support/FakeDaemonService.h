#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "Platform/ServiceManagement/DaemonService.h"
#include "Support/CallLog.h"

namespace ventrella::fakes {

// A daemon service whose status the test sets in `currentStatus`. A register that succeeds
// leaves `statusAfterRegister`, one that fails `statusAfterFailedRegister` (unchanged when
// absent); an unregister that succeeds leaves `statusAfterUnregister`. Each request can be made
// to fail once per queued error. Logs "service.status", "service.register",
// "service.unregister" (waiting) and "service.unregisterAsync"; the asynchronous completion
// comes on a thread of its own.
class FakeDaemonService : public platform::servicemanagement::DaemonService {
  public:
    using Status = platform::servicemanagement::ServiceStatus;
    using Error = platform::servicemanagement::ServiceError;

    explicit FakeDaemonService(std::shared_ptr<CallLog> log = std::make_shared<CallLog>())
        : log_(std::move(log)) {}
    ~FakeDaemonService() override {
        for (auto& thread : completions_) {
            thread.join();
        }
    }

    Status currentStatus = Status::notRegistered;
    Status statusAfterRegister = Status::enabled;
    std::optional<Status> statusAfterFailedRegister;
    Status statusAfterUnregister = Status::notRegistered;

    void failNextRegister(Error error) { registerErrors_.push_back(std::move(error)); }
    void failNextUnregister(Error error) { unregisterErrors_.push_back(std::move(error)); }

    Status status() const override {
        std::lock_guard lock(mutex_);
        log_->record("service.status");
        return currentStatus;
    }

    void registerService() override {
        std::lock_guard lock(mutex_);
        log_->record("service.register");
        if (auto error = next(registerErrors_)) {
            currentStatus = statusAfterFailedRegister.value_or(currentStatus);
            throw *error;
        }
        currentStatus = statusAfterRegister;
    }

    void unregister(Completion completion) override {
        std::optional<Error> error;
        {
            std::lock_guard lock(mutex_);
            log_->record("service.unregisterAsync");
            error = next(unregisterErrors_);
            if (!error) {
                currentStatus = statusAfterUnregister;
            }
            completions_.emplace_back(
                [completion = std::move(completion), error] { completion(error); });
        }
    }

    void unregister() override {
        std::lock_guard lock(mutex_);
        log_->record("service.unregister");
        if (auto error = next(unregisterErrors_)) {
            throw *error;
        }
        currentStatus = statusAfterUnregister;
    }

    const std::shared_ptr<CallLog>& log() const { return log_; }

  private:
    static std::optional<Error> next(std::deque<Error>& errors) {
        if (errors.empty()) {
            return std::nullopt;
        }
        Error error = std::move(errors.front());
        errors.pop_front();
        return error;
    }

    mutable std::mutex mutex_;
    std::shared_ptr<CallLog> log_;
    std::deque<Error> registerErrors_;
    std::deque<Error> unregisterErrors_;
    std::vector<std::thread> completions_;
};

}  // namespace ventrella::fakes
