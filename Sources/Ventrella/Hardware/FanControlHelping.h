#pragma once

#include <cstdint>

#include "Platform/Dispatch/Task.h"
#include "VentrellaShared/FanControlResult.h"
#include "VentrellaShared/HelperStatus.h"

namespace ventrella::apphardware {

// The model's way to the privileged helper. The four requests are awaited from the model's
// tasks; each gives the decoded payload or throws core::VentrellaError (a transport failure, no
// reply in time, a reply that does not decode, or the helper's own error message).
class FanControlHelping {
  public:
    virtual ~FanControlHelping() = default;

    virtual platform::dispatch::Task<shared::HelperStatus> status() = 0;
    virtual platform::dispatch::Task<shared::FanControlResult> prepareTakeover() = 0;
    virtual platform::dispatch::Task<shared::FanControlResult> applyCooling(
        std::int64_t percentage) = 0;
    virtual platform::dispatch::Task<shared::FanControlResult> restoreAutomatic() = 0;

    // Blocks the calling thread until the helper answers a restore request, the connection
    // fails, or timeoutSeconds have passed. For termination only: the outcome is not reported.
    virtual void restoreAutomaticSynchronously(double timeoutSeconds) = 0;

    // Drops the connection; the next request opens a new one. A request still waiting on the
    // old connection fails at once.
    virtual void resetConnection() = 0;
};

}  // namespace ventrella::apphardware
