#pragma once

namespace platform::xpc {

class Connection;

class ListenerDelegate {
  public:
    virtual ~ListenerDelegate() = default;

    // Called once per new connection on the listener's thread, before any byte
    // of it is read; the connection's peer identity is already known. To
    // accept, set the exported interface and object, resume the connection and
    // answer true. Answering false closes the connection unread.
    virtual bool shouldAcceptNewConnection(Connection& newConnection) = 0;
};

}  // namespace platform::xpc
