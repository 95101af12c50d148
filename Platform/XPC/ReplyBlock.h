#pragma once

#include "Platform/XPC/Frame.h"

#include <functional>
#include <memory>

namespace platform::xpc {

// The reply block handed to an exported object with every request. Copies share
// one state: the first call, from any thread and at any time, delivers the data;
// every later call is ignored. Delivery to a connection that has closed is
// dropped silently. A reply block that is never called sends nothing (the
// caller's own timeout decides).
class ReplyBlock {
  public:
    // deliver receives the data of the first call only.
    explicit ReplyBlock(std::function<void(ReplyData)> deliver);

    void operator()(ReplyData data) const;

    // True once the block has been called.
    bool wasCalled() const;

  private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace platform::xpc
