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

// The control socket's permissions keep this user out (a machine that lays out its files as
// it should never does so; the machine itself refuses what a user may not ask).
class MachineAccessRefused : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Sends one control request to the machine whose run directory is given and returns its
// reply. Throws MachineNotRunning when nothing answers within `timeoutSeconds`,
// MachineAccessRefused when this user may not connect.
nlohmann::ordered_json sendControlRequest(const std::filesystem::path& runDirectory,
                                          const nlohmann::json& request,
                                          double timeoutSeconds = 5.0);

}  // namespace virtualmac
