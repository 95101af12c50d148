#pragma once

#include <deque>
#include <exception>
#include <memory>
#include <string>
#include <utility>

#include "Platform/Foundation/LoginItem.h"
#include "Platform/Foundation/LoginItemError.h"
#include "Support/CallLog.h"

namespace ventrella::fakes {

// A login item held in `itemStatus`. Logs "loginItem.status", "loginItem.register" and
// "loginItem.unregister" when given a log; each can be made to fail once per queued error, and
// a failing call leaves the status as it was.
class FakeLoginItem : public platform::foundation::LoginItem {
  public:
    using Status = platform::foundation::LoginItemStatus;
    using Error = platform::foundation::LoginItemError;

    explicit FakeLoginItem(std::shared_ptr<CallLog> log = std::make_shared<CallLog>())
        : log_(std::move(log)) {}

    Status itemStatus = Status::notRegistered;

    void failNextStatus(Error error = Error::statusUnavailable("fake failure")) {
        statusErrors_.push_back(std::make_exception_ptr(std::move(error)));
    }
    void failNextRegister(Error error = Error::registrationFailed("fake failure")) {
        registerErrors_.push_back(std::make_exception_ptr(std::move(error)));
    }
    void failNextUnregister(Error error = Error::unregistrationFailed("fake failure")) {
        unregisterErrors_.push_back(std::make_exception_ptr(std::move(error)));
    }

    Status status() const override {
        log_->record("loginItem.status");
        throwQueued(statusErrors_);
        return itemStatus;
    }

    void registerItem() override {
        log_->record("loginItem.register");
        throwQueued(registerErrors_);
        itemStatus = Status::enabled;
    }

    void unregisterItem() override {
        log_->record("loginItem.unregister");
        throwQueued(unregisterErrors_);
        itemStatus = Status::notRegistered;
    }

    const std::shared_ptr<CallLog>& log() const { return log_; }

  private:
    static void throwQueued(std::deque<std::exception_ptr>& errors) {
        if (!errors.empty()) {
            auto error = errors.front();
            errors.pop_front();
            std::rethrow_exception(error);
        }
    }

    std::shared_ptr<CallLog> log_;
    mutable std::deque<std::exception_ptr> statusErrors_;
    std::deque<std::exception_ptr> registerErrors_;
    std::deque<std::exception_ptr> unregisterErrors_;
};

}  // namespace ventrella::fakes
