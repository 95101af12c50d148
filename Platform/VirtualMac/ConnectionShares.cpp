#include "Platform/VirtualMac/ConnectionShares.h"

#include "Platform/VirtualMac/MachineAccess.h"

namespace virtualmac {

ConnectionShares::ConnectionShares(std::size_t perUser)
    : state_(std::make_shared<State>(State{perUser, {}})) {}

ConnectionShares::Share ConnectionShares::take(int socketDescriptor) {
    const auto user = peerUser(socketDescriptor);
    if (!user) {
        return nullptr;
    }
    if (isPrivilegedUser(*user)) {
        return std::make_shared<int>(0);
    }
    auto& open = state_->open[*user];
    if (open >= state_->perUser) {
        return nullptr;
    }
    ++open;
    return Share(state_.get(), [state = state_, user = *user](void*) {
        if (--state->open[user] == 0) {
            state->open.erase(user);
        }
    });
}

}  // namespace virtualmac
