#pragma once

#include <cstdint>
#include <span>

#include "VentrellaShared/FanControlResult.h"
#include "VentrellaShared/HelperStatus.h"

namespace ventrella::apphardware {

// Turns the data of a helper reply into its payload, or into core::VentrellaError with the text
// the user sees: a reply that does not decode, one of another protocol version, the helper's
// own error message, or a reply without a payload, checked in that order.
struct HelperResponseDecoder {
    HelperResponseDecoder() = delete;

    static constexpr const char* invalidResponseText =
        "Ventrella Helper returned an invalid response.";
    static constexpr const char* versionMismatchText =
        "The Ventrella Fan Helper protocol version does not match. An update is required.";
    static constexpr const char* emptyResponseText = "The Helper returned an empty response.";

    // Payload is shared::HelperStatus or shared::FanControlResult.
    template <class Payload>
    static Payload decode(std::span<const std::uint8_t> data);
};

extern template shared::HelperStatus HelperResponseDecoder::decode<shared::HelperStatus>(
    std::span<const std::uint8_t>);
extern template shared::FanControlResult HelperResponseDecoder::decode<shared::FanControlResult>(
    std::span<const std::uint8_t>);

}  // namespace ventrella::apphardware
