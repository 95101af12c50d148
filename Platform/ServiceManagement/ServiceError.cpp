#include "Platform/ServiceManagement/ServiceError.h"

#include <cstring>

namespace platform::servicemanagement {

ServiceError::ServiceError(std::string_view domain, long code, const std::string& description,
                           std::shared_ptr<const ServiceError> underlying)
    : std::runtime_error(description),
      domain_(domain),
      code_(code),
      underlying_(std::move(underlying)) {}

bool ServiceError::operator==(const ServiceError& other) const {
    if (domain_ != other.domain_ || code_ != other.code_ ||
        std::strcmp(what(), other.what()) != 0) {
        return false;
    }
    if (!underlying_ || !other.underlying_) {
        return !underlying_ && !other.underlying_;
    }
    return *underlying_ == *other.underlying_;
}

}  // namespace platform::servicemanagement
