#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>

namespace virtualmac {

// The error domains launchd's answers use, as the service-management framework reports them.
inline constexpr std::string_view kPOSIXErrorDomain = "NSPOSIXErrorDomain";
inline constexpr std::string_view kServiceManagementErrorDomain = "SMAppServiceErrorDomain";

// Codes of the service-management domain that launchd gives.
enum ServiceManagementErrorCode : int {
    internalFailure = 2,
    toolNotValid = 5,
    jobNotFound = 6,
    jobPlistNotFound = 8,
    invalidPlist = 10,
    alreadyRegistered = 12,
};

// A refused launchd request: a domain, a code, a sentence, and possibly the error beneath it.
class LaunchdError : public std::runtime_error {
  public:
    LaunchdError(std::string_view domain, int code, const std::string& description,
                 std::shared_ptr<const LaunchdError> underlying = nullptr);

    static LaunchdError posix(int code, const std::string& description);

    const std::string& domain() const { return domain_; }
    int code() const { return code_; }
    const std::shared_ptr<const LaunchdError>& underlying() const { return underlying_; }

    // {"domain": …, "code": …, "description": …, "underlying": {…}}, the last only when present.
    nlohmann::ordered_json toJSON() const;

  private:
    std::string domain_;
    int code_;
    std::shared_ptr<const LaunchdError> underlying_;
};

}  // namespace virtualmac
