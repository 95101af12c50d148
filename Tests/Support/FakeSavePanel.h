#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include "Ventrella/Diagnostics/SavePanel.h"

namespace ventrella::fakes {

// A save panel whose user picks `answer` (nothing: cancels); every request is kept. For test
// targets that link VentrellaDiagnostics.
class FakeSavePanel : public diagnostics::SavePanel {
  public:
    std::optional<std::filesystem::path> answer;

    std::optional<std::filesystem::path> chooseDestination(
        const diagnostics::SavePanelOptions& options) override {
        requests_.push_back(options);
        return answer;
    }

    const std::vector<diagnostics::SavePanelOptions>& requests() const { return requests_; }

  private:
    std::vector<diagnostics::SavePanelOptions> requests_;
};

}  // namespace ventrella::fakes
