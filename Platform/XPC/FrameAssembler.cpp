#include "Platform/XPC/FrameAssembler.h"

#include <algorithm>

namespace platform::xpc {

namespace {

// A buffer that held a frame larger than this is released rather than kept for the next one.
constexpr std::size_t kRetainedCapacity = kMaximumRecordSize;

}  // namespace

std::vector<Message> FrameAssembler::append(std::span<const std::uint8_t> bytes) {
    std::vector<Message> messages;
    while (!bytes.empty()) {
        if (buffer_.size() < kFrameHeaderSize) {
            const std::size_t take = std::min(kFrameHeaderSize - buffer_.size(), bytes.size());
            buffer_.insert(buffer_.end(), bytes.begin(), bytes.begin() + take);
            bytes = bytes.subspan(take);
            if (buffer_.size() < kFrameHeaderSize) {
                break;
            }
            bodyLength_ = decodeFrameLength(std::span(buffer_).first<kFrameHeaderSize>());
        }
        const std::size_t missing = kFrameHeaderSize + bodyLength_ - buffer_.size();
        const std::size_t take = std::min(missing, bytes.size());
        buffer_.insert(buffer_.end(), bytes.begin(), bytes.begin() + take);
        bytes = bytes.subspan(take);
        if (take < missing) {
            break;
        }
        messages.push_back(decodeFrameBody(std::span(buffer_).subspan(kFrameHeaderSize)));
        if (buffer_.capacity() > kRetainedCapacity) {
            std::vector<std::uint8_t>().swap(buffer_);
        } else {
            buffer_.clear();
        }
        bodyLength_ = 0;
    }
    return messages;
}

}  // namespace platform::xpc
