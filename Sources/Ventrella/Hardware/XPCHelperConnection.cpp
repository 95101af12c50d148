#include "Ventrella/Hardware/XPCHelperConnection.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace ventrella::apphardware {

namespace {

using Protocol = shared::VentrellaHelperProtocol;

// Sends each request of the protocol as its selector; the reply data goes to the reply block.
class XPCHelperProxy final : public Protocol {
  public:
    explicit XPCHelperProxy(platform::xpc::RemoteObjectProxy proxy) : proxy_(std::move(proxy)) {}

    void status(shared::ReplyBlock reply) override {
        send(Protocol::statusSelector, {}, std::move(reply));
    }
    void prepareTakeover(shared::ReplyBlock reply) override {
        send(Protocol::prepareTakeoverSelector, {}, std::move(reply));
    }
    void applyCooling(std::int64_t percentage, shared::ReplyBlock reply) override {
        send(Protocol::applyCoolingSelector, {percentage}, std::move(reply));
    }
    void restoreAutomatic(shared::ReplyBlock reply) override {
        send(Protocol::restoreAutomaticSelector, {}, std::move(reply));
    }

  private:
    void send(std::string_view selector, std::vector<std::int64_t> arguments,
              shared::ReplyBlock reply) const {
        // The transport copies its handler; the block itself is move-only.
        auto block = std::make_shared<shared::ReplyBlock>(std::move(reply));
        proxy_.send(std::string(selector), std::move(arguments),
                    [block](platform::xpc::ReplyData data) { (*block)(std::move(data)); });
    }

    platform::xpc::RemoteObjectProxy proxy_;
};

}  // namespace

platform::xpc::ConnectionOptions XPCHelperConnection::privilegedOptions() {
    platform::xpc::ConnectionOptions options;
    options.privileged = true;
    options.requiredListenerUserIdentifier = 0;
    return options;
}

platform::xpc::Interface XPCHelperConnection::helperInterface() {
    return {{std::string(Protocol::statusSelector), 0},
            {std::string(Protocol::prepareTakeoverSelector), 0},
            {std::string(Protocol::applyCoolingSelector), 1},
            {std::string(Protocol::restoreAutomaticSelector), 0}};
}

HelperConnectionFactory XPCHelperConnection::factory(platform::xpc::ConnectionOptions options) {
    return [options]() -> std::shared_ptr<HelperConnection> {
        auto connection = platform::xpc::Connection::connectToService(
            std::string(Protocol::machServiceName), options);
        connection->setRemoteObjectInterface(helperInterface());
        return std::make_shared<XPCHelperConnection>(std::move(connection));
    };
}

XPCHelperConnection::XPCHelperConnection(std::shared_ptr<platform::xpc::Connection> connection)
    : connection_(std::move(connection)) {}

void XPCHelperConnection::setInvalidationHandler(std::function<void()> handler) {
    connection_->setInvalidationHandler(std::move(handler));
}

void XPCHelperConnection::setInterruptionHandler(std::function<void()> handler) {
    connection_->setInterruptionHandler(std::move(handler));
}

void XPCHelperConnection::resume() {
    connection_->resume();
}

void XPCHelperConnection::invalidate() {
    connection_->invalidate();
}

std::shared_ptr<shared::VentrellaHelperProtocol> XPCHelperConnection::remoteObjectProxy(
    platform::xpc::ErrorHandler errorHandler) {
    return std::make_shared<XPCHelperProxy>(
        connection_->remoteObjectProxyWithErrorHandler(std::move(errorHandler)));
}

}  // namespace ventrella::apphardware
