#pragma once

#include <string_view>

namespace platform::servicemanagement {

// The registration state of a daemon service, as launchd reports it.
enum class ServiceStatus {
    notRegistered,     // known from its property list, not registered
    enabled,           // registered and allowed to run
    requiresApproval,  // registered, but the user must still allow it
    notFound           // no such service (its property list is missing, or launchd is away)
};

std::string_view toString(ServiceStatus status);

}  // namespace platform::servicemanagement
