#include "Platform/XPC/ReplyBlock.h"

#include <atomic>

namespace platform::xpc {

struct ReplyBlock::State {
    std::atomic<bool> called{false};
    std::function<void(ReplyData)> deliver;
};

ReplyBlock::ReplyBlock(std::function<void(ReplyData)> deliver) : state_(std::make_shared<State>()) {
    state_->deliver = std::move(deliver);
}

void ReplyBlock::operator()(ReplyData data) const {
    if (state_->called.exchange(true)) {
        return;
    }
    if (state_->deliver) {
        // Nobody else can reach the function after the exchange; release what it holds.
        auto deliver = std::move(state_->deliver);
        state_->deliver = nullptr;
        deliver(std::move(data));
    }
}

bool ReplyBlock::wasCalled() const {
    return state_->called.load();
}

}  // namespace platform::xpc
