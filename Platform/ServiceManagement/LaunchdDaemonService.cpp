#include "Platform/ServiceManagement/LaunchdDaemonService.h"

#include <cerrno>
#include <cstring>

#include "Platform/Foundation/LineExchange.h"
#include "Platform/Foundation/PlatformRoot.h"
#include "Platform/ServiceManagement/ServiceErrorJSON.h"

namespace platform::servicemanagement {

namespace {

constexpr double kStatusSeconds = 5.0;
constexpr double kRegisterSeconds = 10.0;
// Unregistering waits for the daemon to end.
constexpr double kUnregisterSeconds = 30.0;
ServiceError unavailable(int posixCode, const std::string& detail) {
    return ServiceError(kServiceManagementErrorDomain, serviceUnavailable,
                        "The service management daemon is not available.",
                        std::make_shared<const ServiceError>(kPOSIXErrorDomain, posixCode, detail));
}

}  // namespace

LaunchdDaemonService::LaunchdDaemonService(std::filesystem::path bundle, std::string plistName)
    : bundle_(std::move(bundle)),
      plistName_(std::move(plistName)),
      queue_("com.quillmoor.servicemanagement." + plistName_) {}

LaunchdDaemonService::~LaunchdDaemonService() = default;

nlohmann::json LaunchdDaemonService::request(const std::string& command,
                                             double timeoutSeconds) const {
    using foundation::LineExchangeError;
    const nlohmann::json message{
        {"command", command}, {"bundle", bundle_.string()}, {"plist", plistName_}};
    std::string answer;
    try {
        answer = foundation::exchangeLine(
            foundation::resolveMacPath("/var/run/virtual-mac/control.sock"), message.dump(),
            timeoutSeconds);
    } catch (const LineExchangeError& error) {
        const int code = error.kind() == LineExchangeError::Kind::unreachable ? ECONNREFUSED
                         : error.kind() == LineExchangeError::Kind::refused   ? EACCES
                                                                              : ETIMEDOUT;
        throw unavailable(code, error.what());
    }
    nlohmann::json reply = nlohmann::json::parse(answer, nullptr, false);
    if (!reply.is_object()) {
        throw unavailable(EBADMSG, "launchd answered with something other than JSON");
    }
    if (!reply.value("ok", false)) {
        if (auto error = serviceErrorFromJSON(reply.value("failure", nlohmann::json()))) {
            throw ServiceError(*error);
        }
        const auto text = reply.find("error");
        throw ServiceError(kServiceManagementErrorDomain, internalFailure,
                           text != reply.end() && text->is_string() ? text->get<std::string>()
                                                                    : "launchd refused");
    }
    return reply;
}

ServiceStatus LaunchdDaemonService::status() const {
    try {
        const std::string text = request("service.status", kStatusSeconds).value("status", "");
        for (const auto status : {ServiceStatus::notRegistered, ServiceStatus::enabled,
                                  ServiceStatus::requiresApproval}) {
            if (text == toString(status)) {
                return status;
            }
        }
    } catch (const ServiceError&) {
    }
    return ServiceStatus::notFound;
}

void LaunchdDaemonService::registerService() {
    request("service.register", kRegisterSeconds);
}

void LaunchdDaemonService::unregister() {
    request("service.unregister", kUnregisterSeconds);
}

void LaunchdDaemonService::unregister(Completion completion) {
    queue_.async([this, completion = std::move(completion)] {
        std::optional<ServiceError> failure;
        try {
            unregister();
        } catch (const ServiceError& error) {
            failure = error;
        }
        if (completion) {
            completion(failure);
        }
    });
}

}  // namespace platform::servicemanagement
