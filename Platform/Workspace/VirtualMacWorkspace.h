#pragma once

#include <filesystem>
#include <memory>

#include "Platform/Workspace/AccessibilityDisplayOptions.h"
#include "Platform/Workspace/SystemSettingsOpener.h"
#include "Platform/Workspace/ThermalStateProvider.h"
#include "Platform/Workspace/WorkspaceNotificationCenter.h"

namespace platform::workspace {

// The application's link to the simulated Mac's workspace: one connection to its workspace
// socket, kept open from construction to destruction and opened again (every second) while the
// machine cannot be reached.
//
// - Notifications: handlers run on this object's notification thread (see
//   WorkspaceNotificationCenter). Once every will-sleep handler has returned and every
//   acknowledgement handed out is released, the machine is told, and it sleeps when all its
//   observers have answered or its bound has passed. A notification posted while not
//   connected is not seen.
// - Thermal state and display options: the last the machine announced; nominal and full motion
//   until it announces them. The display-options observers run when the options change.
// - Settings: the request to open the Login Items pane is sent when connected and dropped
//   otherwise, as a pane that cannot be shown is not shown.
//
// No handler runs once the destructor has returned.
class VirtualMacWorkspace final : public WorkspaceNotificationCenter,
                                  public ThermalStateProvider,
                                  public AccessibilityDisplayOptions,
                                  public SystemSettingsOpener {
  public:
    // The machine of the platform root (its "/var/run/virtual-mac/workspace.sock").
    VirtualMacWorkspace();
    // Throws std::invalid_argument when the path does not fit a Unix socket address.
    explicit VirtualMacWorkspace(const std::filesystem::path& socketPath);
    ~VirtualMacWorkspace() override;

    VirtualMacWorkspace(const VirtualMacWorkspace&) = delete;
    VirtualMacWorkspace& operator=(const VirtualMacWorkspace&) = delete;

    WorkspaceObserverToken addWillSleepObserver(WillSleepHandler handler) override;
    WorkspaceObserverToken addDidWakeObserver(DidWakeHandler handler) override;
    void removeObserver(WorkspaceObserverToken token) override;

    ThermalState thermalState() const override;

    bool shouldReduceMotion() const override;
    WorkspaceObserverToken addDisplayOptionsObserver(std::function<void()> handler) override;
    void removeDisplayOptionsObserver(WorkspaceObserverToken token) override;

    void openLoginItems() override;

  private:
    class Core;
    std::shared_ptr<Core> core_;
};

}  // namespace platform::workspace
