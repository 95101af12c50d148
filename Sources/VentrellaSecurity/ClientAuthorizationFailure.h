#pragma once

#include <array>
#include <optional>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

namespace ventrella::security {

// Why a client was refused; stored and shown by its case name.
enum class ClientAuthorizationFailure {
    expectedHashUnavailable,
    expectedHashInvalid,
    guestLookupFailed,
    liveValidationFailed,
    staticCodeUnavailable,
    signingInformationUnavailable,
    identifierMissing,
    cdHashMissing,
    signatureFlagsMissing,
    identifierMismatch,
    requiredFlagsMissing,
    cdHashMismatch,
};

inline constexpr std::array<ClientAuthorizationFailure, 12> allClientAuthorizationFailures{
    ClientAuthorizationFailure::expectedHashUnavailable,
    ClientAuthorizationFailure::expectedHashInvalid,
    ClientAuthorizationFailure::guestLookupFailed,
    ClientAuthorizationFailure::liveValidationFailed,
    ClientAuthorizationFailure::staticCodeUnavailable,
    ClientAuthorizationFailure::signingInformationUnavailable,
    ClientAuthorizationFailure::identifierMissing,
    ClientAuthorizationFailure::cdHashMissing,
    ClientAuthorizationFailure::signatureFlagsMissing,
    ClientAuthorizationFailure::identifierMismatch,
    ClientAuthorizationFailure::requiredFlagsMissing,
    ClientAuthorizationFailure::cdHashMismatch,
};

std::string_view rawValue(ClientAuthorizationFailure failure);
std::optional<ClientAuthorizationFailure> clientAuthorizationFailure(std::string_view rawValue);

// JSON form: the raw value as a string; an unknown name fails to decode.
void to_json(nlohmann::json& json, ClientAuthorizationFailure failure);
void from_json(const nlohmann::json& json, ClientAuthorizationFailure& failure);

}  // namespace ventrella::security
