#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace platform::xpc {

using ReplyData = std::vector<std::uint8_t>;

// Wire format. Every frame is a 4-byte big-endian body length followed by the
// body; the length is 1 to kMaximumFrameBodySize. Bodies:
//   request:    0x01, call id (u64 BE), selector length (u8, 1-255), selector
//               (printable ASCII, no blank), argument count (u8, 0-16),
//               arguments (each i64 BE)
//   reply:      0x02, call id (u64 BE), reply data (the rest of the body)
//   acceptance: 0x03 alone; the listener's first frame to a client it accepted
// A body must be consumed exactly; anything else is malformed.
//
// Frames travel over a message-oriented socket in records of at most
// kMaximumRecordSize bytes, each record holding part of one frame only, so that
// every record carries its sender's credentials.
inline constexpr std::size_t kFrameHeaderSize = 4;
inline constexpr std::size_t kMaximumFrameBodySize = 1024 * 1024;
inline constexpr std::size_t kMaximumRecordSize = 64 * 1024;
inline constexpr std::size_t kMaximumSelectorLength = 255;
inline constexpr std::size_t kMaximumArgumentCount = 16;
// Largest reply data that fits a frame.
inline constexpr std::size_t kMaximumReplyDataSize = kMaximumFrameBodySize - 9;

struct RequestMessage {
    std::uint64_t callID = 0;
    std::string selector;
    std::vector<std::int64_t> arguments;
    friend bool operator==(const RequestMessage&, const RequestMessage&) = default;
};

struct ReplyMessage {
    std::uint64_t callID = 0;
    ReplyData data;
    friend bool operator==(const ReplyMessage&, const ReplyMessage&) = default;
};

struct AcceptanceMessage {
    friend bool operator==(const AcceptanceMessage&, const AcceptanceMessage&) = default;
};

using Message = std::variant<RequestMessage, ReplyMessage, AcceptanceMessage>;

// True for a selector the wire can carry.
bool isValidSelector(std::string_view selector);

// Whole frames, header included. Throw XPCError `malformedMessage` for a request
// the wire cannot carry or a reply over kMaximumReplyDataSize.
std::vector<std::uint8_t> encodeFrame(const RequestMessage& request);
std::vector<std::uint8_t> encodeFrame(const ReplyMessage& reply);
std::vector<std::uint8_t> encodeFrame(const AcceptanceMessage& acceptance);

// The body length from a frame header; throws XPCError `malformedMessage` when
// it is zero or over the cap, before any of the body is read.
std::size_t decodeFrameLength(std::span<const std::uint8_t, kFrameHeaderSize> header);

// Parses a frame body (any bytes); throws XPCError `malformedMessage`.
Message decodeFrameBody(std::span<const std::uint8_t> body);

}  // namespace platform::xpc
