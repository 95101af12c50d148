#pragma once

#include <sys/types.h>

#include <cstddef>
#include <map>
#include <memory>

namespace virtualmac {

// Each user's share of one of the machine's sockets, which every user may connect to: how many
// connections a user other than root may hold open at once, so that no user can crowd out
// another, nor run the machine out of descriptors. Used from the machine's one thread.
class ConnectionShares {
  public:
    // Held by a connection while it is open (the connection's place in its user's share).
    using Share = std::shared_ptr<void>;

    explicit ConnectionShares(std::size_t perUser);

    // A share for the peer of the connected socket; empty when its user holds all of its share
    // already, or when the kernel cannot tell who it is. A privileged peer (MachineAccess.h) is
    // not counted.
    Share take(int socketDescriptor);

  private:
    struct State {
        std::size_t perUser;
        std::map<uid_t, std::size_t> open;
    };
    std::shared_ptr<State> state_;
};

}  // namespace virtualmac
