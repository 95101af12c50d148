#pragma once

#include <memory>

#include "Platform/IOKit/InProcessBackend.h"
#include "Platform/VirtualMac/SimulatedSMC.h"

namespace ventrella::testsupport {

// A simulated SMC reachable through the IOKit calls of this process while the guard lives.
class ScopedSimulatedSMC {
  public:
    explicit ScopedSimulatedSMC(virtualmac::SimulatedSMCConfiguration configuration = {})
        : smc_(std::make_shared<virtualmac::SimulatedSMC>(std::move(configuration))),
          device_(smc_) {}

    virtualmac::SimulatedSMC& smc() { return *smc_; }
    virtualmac::SimulatedSMC* operator->() { return smc_.get(); }

  private:
    std::shared_ptr<virtualmac::SimulatedSMC> smc_;
    platform::iokit::ScopedInProcessDevice device_;
};

}  // namespace ventrella::testsupport
