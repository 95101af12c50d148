#include "Ventrella/Hardware/HelperResponseDecoder.h"

#include <exception>
#include <optional>

#include <nlohmann/json.hpp>

#include "Ventrella/Core/VentrellaError.h"
#include "VentrellaShared/HelperContractJSON.h"
#include "VentrellaShared/VentrellaProtocol.h"

namespace ventrella::apphardware {

namespace {

using core::VentrellaError;

shared::HelperReply<shared::HelperStatus> decodeReply(std::span<const std::uint8_t> data,
                                                      const shared::HelperStatus*) {
    return shared::decodeHelperStatusReply(data);
}

shared::HelperReply<shared::FanControlResult> decodeReply(std::span<const std::uint8_t> data,
                                                          const shared::FanControlResult*) {
    return shared::decodeFanControlResultReply(data);
}

// A reply that does not decode as a whole may still come from a helper of another version whose
// payload has another shape; that is worth the clearer message. Only a JSON integer counts as a
// version: 4.0, "4" or no version at all stay an invalid response.
bool carriesOtherVersion(std::span<const std::uint8_t> data) {
    const auto json = nlohmann::json::parse(data.begin(), data.end(), nullptr, false);
    if (!json.is_object()) {
        return false;
    }
    const auto version = json.find("protocolVersion");
    if (version == json.end()) {
        return false;
    }
    if (version->is_number_unsigned()) {
        return version->get<std::uint64_t>() !=
               static_cast<std::uint64_t>(shared::VentrellaProtocol::version);
    }
    return version->is_number_integer() &&
           version->get<std::int64_t>() != shared::VentrellaProtocol::version;
}

}  // namespace

template <class Payload>
Payload HelperResponseDecoder::decode(std::span<const std::uint8_t> data) {
    std::optional<shared::HelperReply<Payload>> reply;
    try {
        reply.emplace(decodeReply(data, static_cast<const Payload*>(nullptr)));
    } catch (const std::exception&) {
        // The decoder's own detail is not for the user.
    }
    if (!reply) {
        throw VentrellaError::commandFailed(carriesOtherVersion(data) ? versionMismatchText
                                                                      : invalidResponseText);
    }
    if (reply->protocolVersion() != shared::VentrellaProtocol::version) {
        throw VentrellaError::commandFailed(versionMismatchText);
    }
    if (reply->errorMessage()) {
        throw VentrellaError::commandFailed(*reply->errorMessage());
    }
    if (!reply->payload()) {
        throw VentrellaError::commandFailed(emptyResponseText);
    }
    return *reply->payload();
}

template shared::HelperStatus HelperResponseDecoder::decode<shared::HelperStatus>(
    std::span<const std::uint8_t>);
template shared::FanControlResult HelperResponseDecoder::decode<shared::FanControlResult>(
    std::span<const std::uint8_t>);

}  // namespace ventrella::apphardware
