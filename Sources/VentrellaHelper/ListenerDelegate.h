#pragma once

#include <memory>

#include "AppLog/AppLog.h"
#include "Platform/XPC/ListenerDelegate.h"
#include "VentrellaHelper/SMCController.h"
#include "VentrellaSecurity/ClientAuthorizationAuditLog.h"
#include "VentrellaSecurity/ClientCodeAuthorizer.h"

namespace ventrella::helper {

// Decides every new connection before a byte of it is read: a client that fails the signature
// check is audited, logged and closed; an accepted one gets its own service over the shared
// controller.
class ListenerDelegate final : public platform::xpc::ListenerDelegate {
  public:
    ListenerDelegate(std::shared_ptr<SMCController> controller,
                     security::ClientCodeAuthorizer authorizer,
                     std::shared_ptr<security::ClientAuthorizationAuditLog> auditLog,
                     applog::AppLog::Channel log);

    bool shouldAcceptNewConnection(platform::xpc::Connection& newConnection) override;

    const std::shared_ptr<SMCController>& controller() const { return controller_; }

  private:
    std::shared_ptr<SMCController> controller_;
    security::ClientCodeAuthorizer authorizer_;
    std::shared_ptr<security::ClientAuthorizationAuditLog> auditLog_;
    applog::AppLog::Channel log_;
};

}  // namespace ventrella::helper
