#pragma once

#include <functional>
#include <optional>

#include "Platform/ServiceManagement/ServiceError.h"
#include "Platform/ServiceManagement/ServiceStatus.h"

namespace platform::servicemanagement {

// A system daemon an application registers from its own bundle, named by its property list.
class DaemonService {
  public:
    using Completion = std::function<void(const std::optional<ServiceError>& error)>;

    virtual ~DaemonService() = default;

    // Read afresh on every call.
    virtual ServiceStatus status() const = 0;
    // Registers the daemon, which then runs as root. Throws ServiceError; when the user must
    // still approve it, the error is EPERM in the POSIX domain and the status reads
    // requiresApproval.
    virtual void registerService() = 0;
    // Unregisters it (its daemon stops) and calls `completion` once, on another thread.
    virtual void unregister(Completion completion) = 0;
    // The same, waiting for the end. Throws ServiceError.
    virtual void unregister() = 0;
};

}  // namespace platform::servicemanagement
