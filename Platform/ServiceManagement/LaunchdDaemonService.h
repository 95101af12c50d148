#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "Platform/Dispatch/SerialQueue.h"
#include "Platform/ServiceManagement/DaemonService.h"

namespace platform::servicemanagement {

// A daemon service of the simulated Mac: requests go to its launchd over the machine's control
// socket under the platform root (read on every call). With no machine answering, the status
// is notFound and requests fail with serviceUnavailable.
class LaunchdDaemonService final : public DaemonService {
  public:
    // The property list "<bundle>/Contents/Library/LaunchDaemons/<plistName>".
    LaunchdDaemonService(std::filesystem::path bundle, std::string plistName);
    ~LaunchdDaemonService() override;

    ServiceStatus status() const override;
    void registerService() override;
    void unregister(Completion completion) override;
    void unregister() override;

    const std::filesystem::path& bundle() const { return bundle_; }
    const std::string& plistName() const { return plistName_; }

  private:
    nlohmann::json request(const std::string& command, double timeoutSeconds) const;

    std::filesystem::path bundle_;
    std::string plistName_;
    // Runs asynchronous requests; last, so that it finishes them before the rest goes.
    dispatch::SerialQueue queue_;
};

}  // namespace platform::servicemanagement
