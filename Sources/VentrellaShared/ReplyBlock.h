#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace ventrella::shared {

// The reply callback of one helper request. It delivers at most once: the peer waits for
// exactly one reply, so a second call, even from another thread, is ignored.
class ReplyBlock {
  public:
    using Handler = std::function<void(std::vector<std::uint8_t>)>;

    explicit ReplyBlock(Handler handler);

    ReplyBlock(ReplyBlock&&) noexcept = default;
    ReplyBlock& operator=(ReplyBlock&&) noexcept = default;
    ReplyBlock(const ReplyBlock&) = delete;
    ReplyBlock& operator=(const ReplyBlock&) = delete;

    void operator()(std::vector<std::uint8_t> reply) const;

    // True once a reply was handed over (or this block was moved from).
    bool hasReplied() const;

  private:
    struct State {
        std::atomic<bool> delivered{false};
        Handler handler;
    };
    std::unique_ptr<State> state_;
};

}  // namespace ventrella::shared
