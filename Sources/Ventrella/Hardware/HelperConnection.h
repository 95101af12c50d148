#pragma once

#include <functional>
#include <memory>

#include "Platform/XPC/Connection.h"
#include "VentrellaShared/VentrellaHelperProtocol.h"

namespace ventrella::apphardware {

// One connection to the helper's service, as the helper client uses it. Like the XPC layer,
// an implementation never calls a handler inline from its creation, resume(), invalidate(),
// remoteObjectProxy() or a request sent through the proxy: the client holds its lock there.
class HelperConnection {
  public:
    virtual ~HelperConnection() = default;

    // Set or remove (nullptr); a handler removed before its event is not called.
    virtual void setInvalidationHandler(std::function<void()> handler) = 0;
    virtual void setInterruptionHandler(std::function<void()> handler) = 0;

    virtual void resume() = 0;
    virtual void invalidate() = 0;

    // The remote object; every request sent through it ends in its reply block or in
    // errorHandler. Null when the remote object does not speak the helper's protocol.
    virtual std::shared_ptr<shared::VentrellaHelperProtocol> remoteObjectProxy(
        platform::xpc::ErrorHandler errorHandler) = 0;
};

// Creates a new, suspended connection; may throw when the service cannot be named.
using HelperConnectionFactory = std::function<std::shared_ptr<HelperConnection>()>;

}  // namespace ventrella::apphardware
