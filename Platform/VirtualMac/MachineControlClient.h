#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <stdexcept>

namespace virtualmac {

// No machine answers on the control socket.
class MachineNotRunning : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Sends one control request to the machine whose run directory is given and returns its
// reply. Throws MachineNotRunning when nothing answers within `timeoutSeconds`.
nlohmann::ordered_json sendControlRequest(const std::filesystem::path& runDirectory,
                                  const nlohmann::json& request, double timeoutSeconds = 5.0);

}  // namespace virtualmac
