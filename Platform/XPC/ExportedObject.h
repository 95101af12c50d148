#pragma once

#include "Platform/XPC/ReplyBlock.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform::xpc {

// The object a connection serves requests to. invoke runs on the connection's
// own queue, only for requests that match the connection's exported interface;
// the reply block may be kept and called later from any thread.
class ExportedObject {
  public:
    virtual ~ExportedObject() = default;
    virtual void invoke(const std::string& selector, const std::vector<std::int64_t>& arguments,
                        ReplyBlock reply) = 0;
};

}  // namespace platform::xpc
