#pragma once

#include <cstdint>

#include "Platform/Security/Code.h"
#include "VentrellaSecurity/ClientAuthorizationFailure.h"
#include "VentrellaSecurity/ClientCodeEvidence.h"
#include "VentrellaSecurity/Result.h"

namespace ventrella::security::LiveClientCodeInspector {

using EvidenceResult = Result<ClientCodeEvidence, ClientAuthorizationFailure>;

// Strict validation.
inline constexpr std::uint32_t validationFlags = 0x10;
inline constexpr const char* disableLibraryValidationEntitlement =
    "com.apple.security.cs.disable-library-validation";

// The evidence of a live process, through the system's code-signing calls.
EvidenceResult evidence(std::int32_t processIdentifier);
EvidenceResult evidence(std::int32_t processIdentifier,
                        const platform::security::CodeSigningServices& services);

// Reads the evidence out of a signing-information dictionary (of any shape).
EvidenceResult evidenceFromSigningInformation(const platform::security::Value& information);

}  // namespace ventrella::security::LiveClientCodeInspector
