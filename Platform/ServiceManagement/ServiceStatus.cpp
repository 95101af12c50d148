#include "Platform/ServiceManagement/ServiceStatus.h"

namespace platform::servicemanagement {

std::string_view toString(ServiceStatus status) {
    switch (status) {
        case ServiceStatus::notRegistered:
            return "notRegistered";
        case ServiceStatus::enabled:
            return "enabled";
        case ServiceStatus::requiresApproval:
            return "requiresApproval";
        case ServiceStatus::notFound:
            break;
    }
    return "notFound";
}

}  // namespace platform::servicemanagement
