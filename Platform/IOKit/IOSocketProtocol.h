#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace platform::iokit {

// The simulated machine's IOKit socket: "/var/run/virtual-mac/iokit.sock" under the
// platform root.
std::filesystem::path ioKitSocketPath();

// Wire format between the IOKit layer and the machine. A frame is a 4-byte little-endian
// body length (1 to kMaximumIOFrameBodySize) followed by the body; a body is one opcode
// byte and its fields, little-endian, consumed exactly. Every reply starts with the
// KernReturn (i32) of the request.
//   serviceCount      name (u16 length + bytes)                -> count (u32)
//   openClient        name, service index (u32), type (u32)    -> client (u64)
//   callStructMethod  client (u64), selector (u32), output capacity (u32),
//                     input (u32 length + bytes)               -> output (u32 length + bytes)
//   closeClient       client (u64)                             -> nothing more
namespace ioframe {

enum class Opcode : std::uint8_t {
    serviceCount = 1,
    openClient = 2,
    callStructMethod = 3,
    closeClient = 4,
};

inline constexpr std::size_t kHeaderSize = 4;
inline constexpr std::size_t kMaximumBodySize = 64 * 1024;
// Largest struct-method input and output the wire carries.
inline constexpr std::size_t kMaximumStructSize = 16 * 1024;
inline constexpr std::size_t kMaximumNameLength = 255;

class MalformedFrame : public std::runtime_error {
  public:
    MalformedFrame() : std::runtime_error("malformed IOKit socket frame") {}
};

// Builds a body; `frame()` returns it with its header.
class Writer {
  public:
    Writer& u8(std::uint8_t value);
    Writer& u16(std::uint16_t value);
    Writer& u32(std::uint32_t value);
    Writer& u64(std::uint64_t value);
    Writer& i32(std::int32_t value) { return u32(static_cast<std::uint32_t>(value)); }
    Writer& text(std::string_view value);  // u16 length + bytes; throws MalformedFrame if long
    Writer& bytes(std::span<const std::uint8_t> value);  // u32 length + bytes
    std::vector<std::uint8_t> frame() const;

  private:
    std::vector<std::uint8_t> body_;
};

// Reads a body; every read past the end throws MalformedFrame.
class Reader {
  public:
    explicit Reader(std::span<const std::uint8_t> body) : body_(body) {}
    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    std::uint64_t u64();
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    std::string text();
    std::vector<std::uint8_t> bytes(std::size_t cap);
    // Throws MalformedFrame when bytes are left over.
    void finish() const;

  private:
    std::span<const std::uint8_t> take(std::size_t count);
    std::span<const std::uint8_t> body_;
    std::size_t offset_ = 0;
};

// The body length announced by a header; throws MalformedFrame for 0 or over the cap.
std::size_t bodyLength(std::span<const std::uint8_t, kHeaderSize> header);

}  // namespace ioframe

}  // namespace platform::iokit
