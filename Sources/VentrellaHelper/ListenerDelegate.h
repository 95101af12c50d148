#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "AppLog/AppLog.h"
#include "Platform/XPC/ListenerDelegate.h"
#include "VentrellaHelper/SMCController.h"
#include "VentrellaSecurity/ClientAuthorizationAuditLog.h"
#include "VentrellaSecurity/ClientCodeAuthorizer.h"

namespace ventrella::helper {

// Decides every new connection before a byte of it is read: a client that fails the signature
// check is audited, logged and closed; an accepted one gets its own service over the shared
// controller, and every one of its requests is served only while its process still passes the
// live check (untraced and sealed when it claims the hardened runtime). Decisions for different
// connections may run at the same time.
class ListenerDelegate final : public platform::xpc::ListenerDelegate {
  public:
    // The check every request of an accepted client must pass, made for its process.
    using LiveCheckProvider = std::function<std::function<bool()>(std::int32_t)>;

    ListenerDelegate(std::shared_ptr<SMCController> controller,
                     security::ClientCodeAuthorizer authorizer,
                     std::shared_ptr<security::ClientAuthorizationAuditLog> auditLog,
                     applog::AppLog::Channel log, LiveCheckProvider liveCheckProvider = {});

    bool shouldAcceptNewConnection(platform::xpc::Connection& newConnection) override;

    const std::shared_ptr<SMCController>& controller() const { return controller_; }

  private:
    std::shared_ptr<SMCController> controller_;
    security::ClientCodeAuthorizer authorizer_;
    std::shared_ptr<security::ClientAuthorizationAuditLog> auditLog_;
    applog::AppLog::Channel log_;
    LiveCheckProvider liveCheckProvider_;
};

}  // namespace ventrella::helper
