#include "Platform/VirtualMac/LaunchdError.h"

namespace virtualmac {

LaunchdError::LaunchdError(std::string_view domain, int code, const std::string& description,
                           std::shared_ptr<const LaunchdError> underlying)
    : std::runtime_error(description),
      domain_(domain),
      code_(code),
      underlying_(std::move(underlying)) {}

LaunchdError LaunchdError::posix(int code, const std::string& description) {
    return LaunchdError(kPOSIXErrorDomain, code, description);
}

nlohmann::ordered_json LaunchdError::toJSON() const {
    nlohmann::ordered_json json{{"domain", domain_}, {"code", code_}, {"description", what()}};
    if (underlying_) {
        json["underlying"] = underlying_->toJSON();
    }
    return json;
}

}  // namespace virtualmac
