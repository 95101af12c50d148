#include "VentrellaHelper/ListenerDelegate.h"

#include <utility>

#include "Platform/XPC/Connection.h"
#include "VentrellaHelper/HelperService.h"
#include "VentrellaSecurity/LiveClientCodeInspector.h"

namespace ventrella::helper {

ListenerDelegate::ListenerDelegate(std::shared_ptr<SMCController> controller,
                                   security::ClientCodeAuthorizer authorizer,
                                   std::shared_ptr<security::ClientAuthorizationAuditLog> auditLog,
                                   applog::AppLog::Channel log, LiveCheckProvider liveCheckProvider)
    : controller_(std::move(controller)),
      authorizer_(std::move(authorizer)),
      auditLog_(std::move(auditLog)),
      log_(std::move(log)),
      liveCheckProvider_(std::move(liveCheckProvider)) {
    if (!liveCheckProvider_) {
        liveCheckProvider_ = [](std::int32_t pid) {
            return security::LiveClientCodeInspector::liveCheck(pid);
        };
    }
}

bool ListenerDelegate::shouldAcceptNewConnection(platform::xpc::Connection& newConnection) {
    const auto pid = static_cast<std::int32_t>(newConnection.processIdentifier());
    const auto result = authorizer_.authorize(pid);
    if (!result.isSuccess()) {
        // A failed audit write must not let the client in; its outcome is not needed.
        (void)auditLog_->record(result.error());
        using applog::pub;
        log_.error(applog::AppLogMessage()
                   << "client.rejected reason=" << pub(security::rawValue(result.error()))
                   << " pid=" << pub(pid));
        return false;
    }
    newConnection.setExportedInterface(helperProtocolInterface());
    newConnection.setExportedObject(std::make_shared<HelperService>(controller_));
    newConnection.setPeerRequirement(liveCheckProvider_(pid));
    newConnection.resume();
    return true;
}

}  // namespace ventrella::helper
