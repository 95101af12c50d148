#pragma once

#include <memory>
#include <nlohmann/json.hpp>

#include "Platform/ServiceManagement/ServiceError.h"

namespace platform::servicemanagement {

// How a service error travels from launchd:
// {"domain": …, "code": …, "description": …, "underlying": {…}}, the last only when present.
nlohmann::ordered_json toJSON(const ServiceError& error);

// The error such an object describes, its chain cut off below `maximumDepth` errors; null when
// the object is not one.
std::shared_ptr<const ServiceError> serviceErrorFromJSON(const nlohmann::json& json,
                                                         int maximumDepth = 8);

}  // namespace platform::servicemanagement
