#include "VentrellaSecurity/ClientAuthorizationFailure.h"

#include <nlohmann/json.hpp>

namespace ventrella::security {

std::string_view rawValue(ClientAuthorizationFailure failure) {
    switch (failure) {
        case ClientAuthorizationFailure::expectedHashUnavailable:
            return "expectedHashUnavailable";
        case ClientAuthorizationFailure::expectedHashInvalid:
            return "expectedHashInvalid";
        case ClientAuthorizationFailure::guestLookupFailed:
            return "guestLookupFailed";
        case ClientAuthorizationFailure::liveValidationFailed:
            return "liveValidationFailed";
        case ClientAuthorizationFailure::staticCodeUnavailable:
            return "staticCodeUnavailable";
        case ClientAuthorizationFailure::signingInformationUnavailable:
            return "signingInformationUnavailable";
        case ClientAuthorizationFailure::identifierMissing:
            return "identifierMissing";
        case ClientAuthorizationFailure::cdHashMissing:
            return "cdHashMissing";
        case ClientAuthorizationFailure::signatureFlagsMissing:
            return "signatureFlagsMissing";
        case ClientAuthorizationFailure::identifierMismatch:
            return "identifierMismatch";
        case ClientAuthorizationFailure::requiredFlagsMissing:
            return "requiredFlagsMissing";
        case ClientAuthorizationFailure::cdHashMismatch:
            return "cdHashMismatch";
    }
    return "";
}

std::optional<ClientAuthorizationFailure> clientAuthorizationFailure(std::string_view raw) {
    for (const auto failure : allClientAuthorizationFailures) {
        if (rawValue(failure) == raw)
            return failure;
    }
    return std::nullopt;
}

void to_json(nlohmann::json& json, ClientAuthorizationFailure failure) {
    json = std::string(rawValue(failure));
}

void from_json(const nlohmann::json& json, ClientAuthorizationFailure& failure) {
    if (!json.is_string())
        throw nlohmann::json::type_error::create(302, "a failure reason must be a string", &json);
    const auto decoded = clientAuthorizationFailure(json.get_ref<const std::string&>());
    if (!decoded)
        throw nlohmann::json::other_error::create(501, "unknown failure reason", &json);
    failure = *decoded;
}

}  // namespace ventrella::security
