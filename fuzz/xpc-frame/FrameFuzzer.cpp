// The XPC frame parser on hostile bytes: a header yields a length within the bounds or is
// refused, and a body that parses encodes back to exactly the same frame.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <variant>

#include "FuzzCheck.h"
#include "Platform/XPC/Frame.h"
#include "Platform/XPC/XPCError.h"

using namespace platform::xpc;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    if (size >= kFrameHeaderSize) {
        try {
            const std::size_t length = decodeFrameLength(input.first<kFrameHeaderSize>());
            FUZZ_CHECK(length >= 1 && length <= kMaximumFrameBodySize);
        } catch (const XPCError&) {
        }
    }

    Message message;
    try {
        message = decodeFrameBody(input);
    } catch (const XPCError&) {
        return 0;
    }
    const auto frame = std::visit([](const auto& parsed) { return encodeFrame(parsed); }, message);
    FUZZ_CHECK(frame.size() == kFrameHeaderSize + size);
    FUZZ_CHECK(decodeFrameLength(std::span(frame).first<kFrameHeaderSize>()) == size);
    FUZZ_CHECK(std::equal(frame.begin() + kFrameHeaderSize, frame.end(), input.begin()));
    return 0;
}
