#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform::servicemanagement {

// Error domains a service error can carry.
inline constexpr std::string_view kPOSIXErrorDomain = "NSPOSIXErrorDomain";
inline constexpr std::string_view kServiceManagementErrorDomain = "SMAppServiceErrorDomain";
inline constexpr std::string_view kServiceManagementFrameworkErrorDomain =
    "kSMErrorDomainFramework";

// Codes of the service-management domains.
enum ServiceManagementErrorCode : long {
    internalFailure = 2,
    toolNotValid = 5,
    jobNotFound = 6,
    serviceUnavailable = 7,
    jobPlistNotFound = 8,
    invalidPlist = 10,
    launchDeniedByUser = 11,
    alreadyRegistered = 12,
};

// A failed registration request: a domain, a code, a description and, possibly, the error that
// caused it. Errors compare by value, their underlying errors included.
class ServiceError : public std::runtime_error {
  public:
    ServiceError(std::string_view domain, long code, const std::string& description,
                 std::shared_ptr<const ServiceError> underlying = nullptr);

    const std::string& domain() const { return domain_; }
    long code() const { return code_; }
    // The error beneath this one, or null.
    const ServiceError* underlying() const { return underlying_.get(); }

    bool operator==(const ServiceError& other) const;

  private:
    std::string domain_;
    long code_;
    std::shared_ptr<const ServiceError> underlying_;
};

}  // namespace platform::servicemanagement
