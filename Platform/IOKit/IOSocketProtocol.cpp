#include "Platform/IOKit/IOSocketProtocol.h"

#include "Platform/Foundation/PlatformRoot.h"

namespace platform::iokit {

std::filesystem::path ioKitSocketPath() {
    return foundation::resolveMacPath("/var/run/virtual-mac/iokit.sock");
}

namespace ioframe {

Writer& Writer::u8(std::uint8_t value) {
    body_.push_back(value);
    return *this;
}

Writer& Writer::u16(std::uint16_t value) {
    body_.push_back(static_cast<std::uint8_t>(value));
    body_.push_back(static_cast<std::uint8_t>(value >> 8));
    return *this;
}

Writer& Writer::u32(std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        body_.push_back(static_cast<std::uint8_t>(value >> shift));
    }
    return *this;
}

Writer& Writer::u64(std::uint64_t value) {
    for (int shift = 0; shift < 64; shift += 8) {
        body_.push_back(static_cast<std::uint8_t>(value >> shift));
    }
    return *this;
}

Writer& Writer::text(std::string_view value) {
    if (value.size() > kMaximumNameLength) {
        throw MalformedFrame();
    }
    u16(static_cast<std::uint16_t>(value.size()));
    body_.insert(body_.end(), value.begin(), value.end());
    return *this;
}

Writer& Writer::bytes(std::span<const std::uint8_t> value) {
    if (value.size() > kMaximumStructSize) {
        throw MalformedFrame();
    }
    u32(static_cast<std::uint32_t>(value.size()));
    body_.insert(body_.end(), value.begin(), value.end());
    return *this;
}

std::vector<std::uint8_t> Writer::frame() const {
    if (body_.empty() || body_.size() > kMaximumBodySize) {
        throw MalformedFrame();
    }
    std::vector<std::uint8_t> frame;
    frame.reserve(kHeaderSize + body_.size());
    const auto length = static_cast<std::uint32_t>(body_.size());
    for (int shift = 0; shift < 32; shift += 8) {
        frame.push_back(static_cast<std::uint8_t>(length >> shift));
    }
    frame.insert(frame.end(), body_.begin(), body_.end());
    return frame;
}

std::span<const std::uint8_t> Reader::take(std::size_t count) {
    if (body_.size() - offset_ < count) {
        throw MalformedFrame();
    }
    auto part = body_.subspan(offset_, count);
    offset_ += count;
    return part;
}

std::uint8_t Reader::u8() {
    return take(1)[0];
}

std::uint16_t Reader::u16() {
    const auto part = take(2);
    return static_cast<std::uint16_t>(part[0] | part[1] << 8);
}

std::uint32_t Reader::u32() {
    const auto part = take(4);
    std::uint32_t value = 0;
    for (int index = 3; index >= 0; --index) {
        value = value << 8 | part[static_cast<std::size_t>(index)];
    }
    return value;
}

std::uint64_t Reader::u64() {
    const std::uint64_t low = u32();
    const std::uint64_t high = u32();
    return high << 32 | low;
}

std::string Reader::text() {
    const std::size_t length = u16();
    if (length > kMaximumNameLength) {
        throw MalformedFrame();
    }
    const auto part = take(length);
    return std::string(part.begin(), part.end());
}

std::vector<std::uint8_t> Reader::bytes(std::size_t cap) {
    const std::size_t length = u32();
    if (length > cap) {
        throw MalformedFrame();
    }
    const auto part = take(length);
    return {part.begin(), part.end()};
}

void Reader::finish() const {
    if (offset_ != body_.size()) {
        throw MalformedFrame();
    }
}

std::size_t bodyLength(std::span<const std::uint8_t, kHeaderSize> header) {
    const std::size_t length =
        static_cast<std::uint32_t>(header[0]) | static_cast<std::uint32_t>(header[1]) << 8 |
        static_cast<std::uint32_t>(header[2]) << 16 | static_cast<std::uint32_t>(header[3]) << 24;
    if (length == 0 || length > kMaximumBodySize) {
        throw MalformedFrame();
    }
    return length;
}

}  // namespace ioframe

}  // namespace platform::iokit
