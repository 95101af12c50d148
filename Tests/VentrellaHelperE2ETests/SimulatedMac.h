#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Support/Eventually.h"

namespace ventrella::e2e {

struct CommandResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// A private root with the application bundle and its helper installed, and `virtual-mac`
// running on it (which starts the helper as its daemon). The machine, its helper and the
// commands run here are root's; the bundled client runs as the application's ordinary user
// (testsupport::LocalUser::application()), as the application does. Everything started under
// the root is
// killed when the object goes, whatever state a failed test left. `installOptions` go to
// scripts/install-simulated-app (e.g. "--bundle-only": no helper runs at first); `speed` is
// the thermal model's simulated seconds per real second.
class SimulatedMac {
  public:
    explicit SimulatedMac(const std::string& profile = "apple-silicon",
                          const std::vector<std::string>& installOptions = {}, double speed = 4);
    ~SimulatedMac();
    SimulatedMac(const SimulatedMac&) = delete;
    SimulatedMac& operator=(const SimulatedMac&) = delete;

    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path supportFile(const std::string& name) const;
    std::filesystem::path bundledClient() const;
    // The helper's log (its unified-log stand-in), not the daemon's standard output.
    std::filesystem::path helperLog() const;

    // Runs a program with VIRTUAL_MAC_ROOT set to the root; output captured.
    CommandResult run(const std::vector<std::string>& arguments) const;
    // Starts a program in the background (output discarded); its pid.
    pid_t spawn(const std::vector<std::string>& arguments) const;

    nlohmann::json status() const;
    CommandResult virtualMac(std::vector<std::string> arguments) const;
    // The bundle's program, as the application's user.
    CommandResult client(std::vector<std::string> arguments) const;

    // The running helper daemon, found by its executable.
    std::optional<pid_t> helperProcess() const;
    // Waits (bounded) until the helper accepts requests.
    bool waitForHelper() const;

  private:
    void killEverything() const;

    std::filesystem::path root_;
};

// This process's environment with VIRTUAL_MAC_ROOT set to the root.
std::vector<std::string> environmentFor(const std::filesystem::path& root);

// Polls a condition another process makes true, up to the bound.
bool eventually(const std::function<bool()>& condition,
                double seconds = testsupport::eventDeadlineSeconds);

}  // namespace ventrella::e2e
