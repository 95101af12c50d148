#pragma once

#include "Platform/Workspace/ThermalState.h"

namespace platform::workspace {

// The process's current thermal state. Cheap and callable from any thread.
class ThermalStateProvider {
  public:
    virtual ~ThermalStateProvider() = default;
    virtual ThermalState thermalState() const = 0;
};

}  // namespace platform::workspace
