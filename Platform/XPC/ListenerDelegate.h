#pragma once

namespace platform::xpc {

class Connection;

class ListenerDelegate {
  public:
    virtual ~ListenerDelegate() = default;

    // Called once per new connection, on that connection's own queue (never on
    // the listener's thread, so other clients are served meanwhile; calls for
    // different connections may run at the same time), before any byte of it is
    // read; the connection's peer identity is already known and pinned. To
    // accept, set the exported interface and object, resume the connection and
    // answer true. Answering false (or throwing) closes the connection unread; so
    // does an answer that comes after the listener's decision time limit.
    virtual bool shouldAcceptNewConnection(Connection& newConnection) = 0;
};

}  // namespace platform::xpc
