#pragma once

#include <memory>

#include "Platform/XPC/Connection.h"
#include "Platform/XPC/Interface.h"
#include "Ventrella/Hardware/HelperConnection.h"

namespace ventrella::apphardware {

// A helper connection over the XPC layer, to the helper's Mach service.
class XPCHelperConnection final : public HelperConnection {
  public:
    // The helper is a system daemon: only a listener run by root is the genuine one.
    static platform::xpc::ConnectionOptions privilegedOptions();

    // The four requests of the helper's protocol as the wire carries them.
    static platform::xpc::Interface helperInterface();

    // Each call connects anew to the helper's service with the helper's interface as the
    // remote interface. Throws platform::xpc::XPCError when the service's socket cannot be
    // named (an overlong platform root).
    static HelperConnectionFactory factory(
        platform::xpc::ConnectionOptions options = privilegedOptions());

    explicit XPCHelperConnection(std::shared_ptr<platform::xpc::Connection> connection);

    void setInvalidationHandler(std::function<void()> handler) override;
    void setInterruptionHandler(std::function<void()> handler) override;
    void resume() override;
    void invalidate() override;
    std::shared_ptr<shared::VentrellaHelperProtocol> remoteObjectProxy(
        platform::xpc::ErrorHandler errorHandler) override;

  private:
    std::shared_ptr<platform::xpc::Connection> connection_;
};

}  // namespace ventrella::apphardware
