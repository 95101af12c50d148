#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "VentrellaShared/VentrellaProtocol.h"

namespace ventrella::shared {

struct HelperReplyDecoder;

// The envelope of every reply from the helper.
//
// The helper may only build a reply through `withPayload` or `withErrorMessage`, so every reply
// it sends carries the current protocol version and exactly one of payload or message. The
// constructor is private for that reason. Decoding is the one other way to obtain a reply: it
// must keep whatever version and fields the peer sent, so that the app can refuse a reply from
// a helper of another version instead of having it silently rewritten. Only the decoder
// (`HelperReplyDecoder`, in HelperContractJSON.cpp) is granted that through friendship.
template <class Payload>
class HelperReply {
  public:
    static HelperReply withPayload(Payload payload) {
        return HelperReply(VentrellaProtocol::version, std::move(payload), std::nullopt);
    }

    static HelperReply withErrorMessage(std::string errorMessage) {
        return HelperReply(VentrellaProtocol::version, std::nullopt, std::move(errorMessage));
    }

    std::int64_t protocolVersion() const { return protocolVersion_; }
    const std::optional<Payload>& payload() const { return payload_; }
    const std::optional<std::string>& errorMessage() const { return errorMessage_; }

    bool operator==(const HelperReply&) const = default;

  private:
    friend struct HelperReplyDecoder;

    HelperReply(std::int64_t protocolVersion, std::optional<Payload> payload,
                std::optional<std::string> errorMessage)
        : protocolVersion_(protocolVersion),
          payload_(std::move(payload)),
          errorMessage_(std::move(errorMessage)) {}

    std::int64_t protocolVersion_;
    std::optional<Payload> payload_;
    std::optional<std::string> errorMessage_;
};

}  // namespace ventrella::shared
