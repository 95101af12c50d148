#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "VentrellaSecurity/ClientAuthorizationFailure.h"
#include "VentrellaSecurity/ClientCodeEvidence.h"
#include "VentrellaSecurity/Result.h"

namespace ventrella::security {

// Decides whether a connecting process is the genuine client. Never throws:
// a refusal is one named reason.
struct ClientCodeAuthorizer {
    using EvidenceProvider =
        std::function<Result<ClientCodeEvidence, ClientAuthorizationFailure>(std::int32_t)>;
    using ExpectedHashProvider = std::function<Result<std::string, ClientAuthorizationFailure>()>;

    // Both providers must be safe to call from any thread; they are asked on
    // every call, so a changed expected hash takes effect at the next client.
    // Without an evidence provider, the live one: it refuses a wrong identifier
    // or missing flags before it hashes the image, and hashes an unchanged
    // image only once for this authorizer.
    ClientCodeAuthorizer(std::string expectedIdentifier, std::uint32_t requiredSignatureFlags,
                         ExpectedHashProvider expectedHashProvider);
    ClientCodeAuthorizer(std::string expectedIdentifier, std::uint32_t requiredSignatureFlags,
                         EvidenceProvider evidenceProvider,
                         ExpectedHashProvider expectedHashProvider);

    Result<Success, ClientAuthorizationFailure> authorize(std::int32_t processIdentifier) const;

    std::string expectedIdentifier;
    std::uint32_t requiredSignatureFlags;
    EvidenceProvider evidenceProvider;
    ExpectedHashProvider expectedHashProvider;
};

}  // namespace ventrella::security
