// The helper contract's JSON decoders on hostile bytes. The first byte picks the decoder, the
// rest is the text. Whatever decodes must encode, and decode again to the same value.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "FuzzCheck.h"
#include "VentrellaShared/HelperContractJSON.h"

using namespace ventrella::shared;

namespace {

template <class Decode>
void roundTrip(std::span<const std::uint8_t> text, Decode decode) {
    try {
        const auto reply = decode(text);
        const auto encoded = encodeHelperReply(reply);
        FUZZ_CHECK(decode(std::span<const std::uint8_t>(encoded)) == reply);
    } catch (const HelperContractDecodingError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::span<const std::uint8_t> text(data + 1, size - 1);
    switch (data[0] % 3) {
        case 0:
            roundTrip(text, [](auto bytes) { return decodeHelperStatusReply(bytes); });
            break;
        case 1:
            roundTrip(text, [](auto bytes) { return decodeFanControlResultReply(bytes); });
            break;
        default:
            try {
                const std::string_view chars(reinterpret_cast<const char*>(text.data()),
                                             text.size());
                const auto capabilities = decodeHardwareCapabilities(chars);
                FUZZ_CHECK(decodeHardwareCapabilities(encodeHardwareCapabilities(capabilities)) ==
                           capabilities);
            } catch (const HelperContractDecodingError&) {
            }
    }
    return 0;
}
