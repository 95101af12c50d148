#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "VentrellaShared/ErrorDescription.h"
#include "VentrellaShared/HelperContractJSON.h"
#include "VentrellaShared/HelperReply.h"

namespace ventrella::helper {

// Sent when a reply cannot be encoded (a non-finite speed); it still decodes as a reply of
// protocol version 4 with an error message.
inline constexpr std::string_view fallbackReplyJSON =
    R"({"protocolVersion":4,"errorMessage":"The Helper response could not be encoded."})";

std::vector<std::uint8_t> fallbackReplyBytes();

// Runs the operation and turns its result, or the description of what it threw, into the bytes
// of one reply. Never throws.
template <class Operation>
std::vector<std::uint8_t> replyBytes(Operation&& operation) {
    using Payload = decltype(operation());
    try {
        auto reply = [&]() -> shared::HelperReply<Payload> {
            try {
                return shared::HelperReply<Payload>::withPayload(operation());
            } catch (...) {
                return shared::HelperReply<Payload>::withErrorMessage(
                    shared::errorDescription(std::current_exception()));
            }
        }();
        return shared::encodeHelperReply(reply);
    } catch (...) {
        return fallbackReplyBytes();
    }
}

}  // namespace ventrella::helper
