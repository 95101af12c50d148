#pragma once

#include <cstdint>
#include <functional>
#include <optional>

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

// Judges what a signature states before its image is hashed: a failure ends the examination
// with that reason, so that a peer that cannot pass costs no read of its image.
using EvidenceScreen =
    std::function<std::optional<ClientAuthorizationFailure>(const ClientCodeEvidence&)>;

// The evidence of a live process, through the system's code-signing calls. Everything but the
// image hash is checked first (the failed live check is still liveValidationFailed), then the
// signing information is read and screened, and only then is the image hashed.
EvidenceResult evidence(std::int32_t processIdentifier);
EvidenceResult evidence(std::int32_t processIdentifier,
                        const platform::security::CodeSigningServices& services,
                        const EvidenceScreen& screen = {});

// What every later message of an accepted client is checked with: the process is
// still the one examined (same process, same image) and, when its signature
// claims the hardened runtime, still untraced and non-dumpable. A process that
// cannot be pinned any more gets a check that always fails.
using LiveCheck = std::function<bool()>;
LiveCheck liveCheck(std::int32_t processIdentifier);
LiveCheck liveCheck(std::int32_t processIdentifier,
                    const platform::security::CodeSigningServices& services);

// Reads the evidence out of a signing-information dictionary (of any shape).
EvidenceResult evidenceFromSigningInformation(const platform::security::Value& information);

}  // namespace ventrella::security::LiveClientCodeInspector
