#include "Platform/XPC/Frame.h"

#include "Platform/XPC/XPCError.h"

namespace platform::xpc {

namespace {

constexpr std::uint8_t kRequestKind = 0x01;
constexpr std::uint8_t kReplyKind = 0x02;
constexpr std::uint8_t kAcceptanceKind = 0x03;

[[noreturn]] void malformed() {
    throw XPCError(XPCError::Code::malformedMessage);
}

void putUInt64(std::vector<std::uint8_t>& out, std::uint64_t value) {
    for (int shift = 56; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

void putLength(std::vector<std::uint8_t>& frame) {
    const auto length = static_cast<std::uint32_t>(frame.size() - kFrameHeaderSize);
    for (std::size_t i = 0; i < kFrameHeaderSize; ++i) {
        frame[i] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
    }
}

class Reader {
  public:
    explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint8_t byte() {
        need(1);
        return bytes_[offset_++];
    }
    std::uint64_t uint64() {
        need(8);
        std::uint64_t value = 0;
        for (int i = 0; i < 8; ++i) {
            value = (value << 8) | bytes_[offset_++];
        }
        return value;
    }
    std::span<const std::uint8_t> take(std::size_t count) {
        need(count);
        auto part = bytes_.subspan(offset_, count);
        offset_ += count;
        return part;
    }
    std::span<const std::uint8_t> rest() { return take(bytes_.size() - offset_); }
    bool atEnd() const { return offset_ == bytes_.size(); }

  private:
    void need(std::size_t count) const {
        if (bytes_.size() - offset_ < count) {
            malformed();
        }
    }

    std::span<const std::uint8_t> bytes_;
    std::size_t offset_ = 0;
};

}  // namespace

bool isValidSelector(std::string_view selector) {
    if (selector.empty() || selector.size() > kMaximumSelectorLength) {
        return false;
    }
    for (const char c : selector) {
        if (c <= ' ' || c > '~') {
            return false;
        }
    }
    return true;
}

std::vector<std::uint8_t> encodeFrame(const RequestMessage& request) {
    if (!isValidSelector(request.selector) || request.arguments.size() > kMaximumArgumentCount) {
        malformed();
    }
    // Sized once: kind, call, selector length and text, argument count and arguments.
    std::vector<std::uint8_t> frame;
    frame.reserve(kFrameHeaderSize + 1 + 8 + 1 + request.selector.size() + 1 +
                  8 * request.arguments.size());
    frame.resize(kFrameHeaderSize);
    frame.push_back(kRequestKind);
    putUInt64(frame, request.callID);
    frame.push_back(static_cast<std::uint8_t>(request.selector.size()));
    frame.insert(frame.end(), request.selector.begin(), request.selector.end());
    frame.push_back(static_cast<std::uint8_t>(request.arguments.size()));
    for (const std::int64_t argument : request.arguments) {
        putUInt64(frame, static_cast<std::uint64_t>(argument));
    }
    putLength(frame);
    return frame;
}

std::vector<std::uint8_t> encodeFrame(const ReplyMessage& reply) {
    if (reply.data.size() > kMaximumReplyDataSize) {
        malformed();
    }
    std::vector<std::uint8_t> frame;
    frame.reserve(kFrameHeaderSize + 9 + reply.data.size());
    frame.resize(kFrameHeaderSize);
    frame.push_back(kReplyKind);
    putUInt64(frame, reply.callID);
    frame.insert(frame.end(), reply.data.begin(), reply.data.end());
    putLength(frame);
    return frame;
}

std::vector<std::uint8_t> encodeFrame(const AcceptanceMessage&) {
    std::vector<std::uint8_t> frame;
    frame.reserve(kFrameHeaderSize + 1);
    frame.resize(kFrameHeaderSize);
    frame.push_back(kAcceptanceKind);
    putLength(frame);
    return frame;
}

std::size_t decodeFrameLength(std::span<const std::uint8_t, kFrameHeaderSize> header) {
    std::uint32_t length = 0;
    for (const std::uint8_t b : header) {
        length = (length << 8) | b;
    }
    if (length == 0 || length > kMaximumFrameBodySize) {
        malformed();
    }
    return length;
}

Message decodeFrameBody(std::span<const std::uint8_t> body) {
    if (body.empty() || body.size() > kMaximumFrameBodySize) {
        malformed();
    }
    Reader reader(body);
    switch (reader.byte()) {
        case kRequestKind: {
            RequestMessage request;
            request.callID = reader.uint64();
            const auto selector = reader.take(reader.byte());
            request.selector.assign(selector.begin(), selector.end());
            if (!isValidSelector(request.selector)) {
                malformed();
            }
            const std::size_t count = reader.byte();
            if (count > kMaximumArgumentCount) {
                malformed();
            }
            for (std::size_t i = 0; i < count; ++i) {
                request.arguments.push_back(static_cast<std::int64_t>(reader.uint64()));
            }
            if (!reader.atEnd()) {
                malformed();
            }
            return request;
        }
        case kReplyKind: {
            ReplyMessage reply;
            reply.callID = reader.uint64();
            const auto data = reader.rest();
            reply.data.assign(data.begin(), data.end());
            return reply;
        }
        case kAcceptanceKind:
            if (!reader.atEnd()) {
                malformed();
            }
            return AcceptanceMessage{};
        default:
            malformed();
    }
}

}  // namespace platform::xpc
