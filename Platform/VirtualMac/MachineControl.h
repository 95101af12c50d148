#pragma once

#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "Platform/VirtualMac/VirtualMachine.h"

namespace virtualmac {

// The control interface of a running machine: one JSON request in, one JSON reply out.
// Requests: {"command": "status" | "load" | "fault" | "clear-faults" | "stop", ...}; replies
// carry "ok" and either the result or "error" with a sentence saying what was wrong.
//   load:   "cpu", "gpu" in percent (either may be absent)
//   fault:  "kind" with its fields: "refuse-writes" (key, optional result),
//           "result-code" (key, code), "drop-manual" (fan), "mask-stuck", "ftst-stuck",
//           "other-app" (fan, rpm), "unreadable-temperatures"
class MachineControl {
  public:
    // Answers the commands of a part of the machine outside the thermal model (launchd, the
    // authorization prompt): a reply for its own commands, nothing for any other.
    using Extension = std::function<std::optional<nlohmann::ordered_json>(
        const std::string& command, const nlohmann::json& request)>;

    MachineControl(VirtualMachine& machine, double speed, std::function<void()> stop)
        : machine_(machine), speed_(speed), stop_(std::move(stop)) {}

    // Before the machine serves: extensions are asked in the order they were added.
    void addExtension(Extension extension) { extensions_.push_back(std::move(extension)); }

    nlohmann::ordered_json handle(const nlohmann::json& request);

    // The machine's state as the "status" reply carries it.
    nlohmann::ordered_json statusJSON() const;

  private:
    void fault(const nlohmann::json& request);

    VirtualMachine& machine_;
    double speed_;
    std::function<void()> stop_;
    std::vector<Extension> extensions_;
};

}  // namespace virtualmac
