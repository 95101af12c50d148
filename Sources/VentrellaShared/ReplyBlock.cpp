#include "VentrellaShared/ReplyBlock.h"

#include <utility>

namespace ventrella::shared {

ReplyBlock::ReplyBlock(Handler handler) : state_(std::make_unique<State>()) {
    state_->handler = std::move(handler);
}

void ReplyBlock::operator()(std::vector<std::uint8_t> reply) const {
    if (!state_ || state_->delivered.exchange(true)) {
        return;
    }
    // Only the caller that won the exchange touches the handler.
    Handler handler = std::move(state_->handler);
    if (handler) {
        handler(std::move(reply));
    }
}

bool ReplyBlock::hasReplied() const {
    return !state_ || state_->delivered.load();
}

}  // namespace ventrella::shared
