#pragma once

#include <deque>
#include <exception>
#include <utility>
#include <vector>

#include "Ventrella/Diagnostics/DiagnosticReportCoordinating.h"

namespace ventrella::fakes {

// A report coordinator that keeps the contexts it is given and answers `saved` (false: the
// user cancelled), or throws a queued error once per error. For test targets that link
// VentrellaDiagnostics.
class FakeDiagnosticReportCoordinator : public diagnostics::DiagnosticReportCoordinating {
  public:
    bool saved = true;

    template <class Error>
    void failNextExport(Error error) {
        errors_.push_back(std::make_exception_ptr(std::move(error)));
    }

    bool exportReport(const diagnostics::DiagnosticReportContext& context) override {
        contexts_.push_back(context);
        if (!errors_.empty()) {
            auto error = errors_.front();
            errors_.pop_front();
            std::rethrow_exception(error);
        }
        return saved;
    }

    const std::vector<diagnostics::DiagnosticReportContext>& contexts() const { return contexts_; }

  private:
    std::deque<std::exception_ptr> errors_;
    std::vector<diagnostics::DiagnosticReportContext> contexts_;
};

}  // namespace ventrella::fakes
