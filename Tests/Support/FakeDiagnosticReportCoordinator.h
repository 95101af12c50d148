#pragma once

#include <deque>
#include <exception>
#include <optional>
#include <utility>
#include <vector>

#include "Platform/Dispatch/Completion.h"
#include "Platform/Dispatch/Task.h"
#include "Ventrella/Diagnostics/DiagnosticReportCoordinating.h"

namespace ventrella::fakes {

// A report coordinator that keeps the contexts it is given and answers `saved` (false: the
// user cancelled); a queued error fails the next write, once per error. While `holdWrites` is
// set, each write waits for releaseWrites(). For test targets that link VentrellaDiagnostics.
class FakeDiagnosticReportCoordinator : public diagnostics::DiagnosticReportCoordinating {
  public:
    bool saved = true;
    bool holdWrites = false;

    template <class Error>
    void failNextExport(Error error) {
        errors_.push_back(std::make_exception_ptr(std::move(error)));
    }

    std::optional<platform::dispatch::Task<void>> exportReport(
        const diagnostics::DiagnosticReportContext& context) override {
        contexts_.push_back(context);
        if (!saved) {
            return std::nullopt;
        }
        std::exception_ptr error;
        if (!errors_.empty()) {
            error = errors_.front();
            errors_.pop_front();
        }
        return write(this, holdWrites, error);
    }

    void releaseWrites() {
        for (const auto& held : held_) {
            held.complete();
        }
        held_.clear();
    }

    const std::vector<diagnostics::DiagnosticReportContext>& contexts() const { return contexts_; }

  private:
    static platform::dispatch::Task<void> write(FakeDiagnosticReportCoordinator* self, bool hold,
                                                std::exception_ptr error) {
        if (hold) {
            platform::dispatch::Completion<void> released;
            self->held_.push_back(released.completer());
            co_await released;
        }
        if (error) {
            std::rethrow_exception(error);
        }
    }

    std::deque<std::exception_ptr> errors_;
    std::vector<diagnostics::DiagnosticReportContext> contexts_;
    std::vector<platform::dispatch::Completer<void>> held_;
};

}  // namespace ventrella::fakes
