#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "VentrellaSecurity/ClientAuthorizationFailure.h"

namespace ventrella::security {

// One line of the audit file: {"reason":"cdHashMismatch","timestamp":"2026-12-09T05:00:00Z"}
struct ClientAuthorizationAuditEntry {
    std::chrono::system_clock::time_point timestamp;
    ClientAuthorizationFailure reason = ClientAuthorizationFailure::expectedHashUnavailable;

    bool operator==(const ClientAuthorizationAuditEntry&) const = default;

    // The JSON object without the line feed; absent when the date cannot be
    // written in four-digit-year ISO 8601 form.
    std::optional<std::string> encoded() const;
    static std::optional<ClientAuthorizationAuditEntry> decode(std::string_view json);
};

// ISO 8601 in UTC, whole seconds, trailing "Z" (fractions are dropped).
std::optional<std::string> iso8601String(std::chrono::system_clock::time_point date);
// Accepts "YYYY-MM-DDTHH:MM:SS" followed by "Z" or a "+HH:MM"/"-HH:MM" offset.
std::optional<std::chrono::system_clock::time_point> iso8601Date(std::string_view text);

}  // namespace ventrella::security
