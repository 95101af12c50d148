#pragma once

#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "Support/CallLog.h"
#include "Ventrella/Hardware/HelperInstalling.h"

namespace ventrella::fakes {

// An installer whose answers the test sets. A successful install leaves the helper installed,
// its service status enabled or (for requiresApproval) waiting for approval; a successful
// uninstall leaves it removed and not registered. Each of install and uninstall can be made to
// fail once per queued error, leaving the state as it was; `whileInstalling` and
// `whileUninstalling` run inside the call (to hold it, or to look at the world meanwhile).
// Logs "installer.usesModernService", "installer.isInstalled", "installer.serviceStatus",
// "installer.install" and "installer.uninstall". Safe to call from a worker thread; the
// fields are meant to be set while no call runs. For test targets that link
// VentrellaAppHardware.
class FakeHelperInstaller : public apphardware::HelperInstalling {
  public:
    using Status = platform::servicemanagement::ServiceStatus;
    using Outcome = apphardware::InstallationOutcome;

    explicit FakeHelperInstaller(std::shared_ptr<CallLog> log = std::make_shared<CallLog>())
        : log_(std::move(log)) {}

    bool modernService = true;
    bool installed = false;
    Status status = Status::notRegistered;
    Outcome installOutcome = Outcome::installed;
    std::string removalMessage =
        "Ventrella Helper was removed; fan control is now managed by Apple Automatic.";
    std::function<void()> whileInstalling;
    std::function<void()> whileUninstalling;

    template <class Error>
    void failNextInstall(Error error) {
        std::lock_guard lock(mutex_);
        installErrors_.push_back(std::make_exception_ptr(std::move(error)));
    }
    template <class Error>
    void failNextUninstall(Error error) {
        std::lock_guard lock(mutex_);
        uninstallErrors_.push_back(std::make_exception_ptr(std::move(error)));
    }

    bool usesModernService() override {
        std::lock_guard lock(mutex_);
        log_->record("installer.usesModernService");
        return modernService;
    }

    bool isInstalled() override {
        std::lock_guard lock(mutex_);
        log_->record("installer.isInstalled");
        return installed;
    }

    Status serviceStatus() override {
        std::lock_guard lock(mutex_);
        log_->record("installer.serviceStatus");
        return status;
    }

    Outcome install() override {
        record("installer.install");
        if (whileInstalling) {
            whileInstalling();
        }
        std::lock_guard lock(mutex_);
        throwQueued(installErrors_);
        installed = true;
        status = installOutcome == Outcome::installed ? Status::enabled : Status::requiresApproval;
        return installOutcome;
    }

    std::string uninstall() override {
        record("installer.uninstall");
        if (whileUninstalling) {
            whileUninstalling();
        }
        std::lock_guard lock(mutex_);
        throwQueued(uninstallErrors_);
        installed = false;
        status = Status::notRegistered;
        return removalMessage;
    }

    const std::shared_ptr<CallLog>& log() const { return log_; }

  private:
    void record(std::string entry) {
        std::lock_guard lock(mutex_);
        log_->record(std::move(entry));
    }

    static void throwQueued(std::deque<std::exception_ptr>& errors) {
        if (!errors.empty()) {
            auto error = errors.front();
            errors.pop_front();
            std::rethrow_exception(error);
        }
    }

    std::mutex mutex_;
    std::shared_ptr<CallLog> log_;
    std::deque<std::exception_ptr> installErrors_;
    std::deque<std::exception_ptr> uninstallErrors_;
};

}  // namespace ventrella::fakes
