#pragma once

#include "Platform/XPC/Frame.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace platform::xpc {

// Puts frames back together from the records a connection receives. Its buffer
// grows only with the bytes that arrived, never with the length a header claims,
// and gives its memory back once a large frame is done.
class FrameAssembler {
  public:
    // Takes the next bytes of the stream; answers the frames they complete, in
    // order. Throws XPCError `malformedMessage` for a bad header or body; the
    // assembler must not be used after that.
    std::vector<Message> append(std::span<const std::uint8_t> bytes);

    // True while part of a frame has arrived but not all of it.
    bool holdsPartialFrame() const { return !buffer_.empty(); }

    // The bytes held for the partial frame.
    std::size_t bufferedBytes() const { return buffer_.size(); }

  private:
    std::vector<std::uint8_t> buffer_;  // header and body received so far
    std::size_t bodyLength_ = 0;        // known once the header is complete
};

}  // namespace platform::xpc
