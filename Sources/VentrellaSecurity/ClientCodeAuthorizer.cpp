#include "VentrellaSecurity/ClientCodeAuthorizer.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string_view>

#include "Platform/Security/Code.h"
#include "VentrellaSecurity/ClientCodeSignaturePolicy.h"
#include "VentrellaSecurity/LiveClientCodeInspector.h"
#include "VentrellaSecurity/UTF8Text.h"

namespace ventrella::security {
namespace {

using AuthorizationResult = Result<Success, ClientAuthorizationFailure>;

char lowercase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string trimmedLowercase(std::string_view text) {
    std::string result(UTF8Text::trimmingWhitespaceAndNewlines(text));
    std::transform(result.begin(), result.end(), result.begin(), lowercase);
    return result;
}

bool isWellFormedHash(const std::string& hash) {
    return hash.size() >= 40 && hash.size() % 2 == 0 &&
           std::all_of(hash.begin(), hash.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

bool equalIgnoringCase(std::string_view left, std::string_view right) {
    return std::equal(left.begin(), left.end(), right.begin(), right.end(),
                      [](char a, char b) { return lowercase(a) == lowercase(b); });
}

// What the signature states about identifier and flags, judged as authorize() judges it.
std::optional<ClientAuthorizationFailure> statementFailure(const std::string& expectedIdentifier,
                                                           std::uint32_t requiredSignatureFlags,
                                                           const ClientCodeEvidence& peer) {
    if (peer.identifier != expectedIdentifier)
        return ClientAuthorizationFailure::identifierMismatch;
    // Only library validation may be absent, and only for a hardened-runtime
    // requirement whose client explicitly holds the entitlement that disables it.
    const std::uint32_t missing = requiredSignatureFlags & ~peer.signatureFlags;
    const bool flagsPass =
        missing == 0 || (missing == ClientCodeSignaturePolicy::libraryValidation &&
                         (requiredSignatureFlags & ClientCodeSignaturePolicy::runtime) != 0 &&
                         peer.disablesLibraryValidation);
    if (!flagsPass)
        return ClientAuthorizationFailure::requiredFlagsMissing;
    return std::nullopt;
}

}  // namespace

ClientCodeAuthorizer::ClientCodeAuthorizer(std::string expectedIdentifier,
                                           std::uint32_t requiredSignatureFlags,
                                           ExpectedHashProvider expectedHashProvider)
    : ClientCodeAuthorizer(
          expectedIdentifier, requiredSignatureFlags,
          // A peer is judged by its signature's statements before its image is read, and an
          // image already hashed (the same client reconnecting) is not read again.
          [services = platform::security::systemCodeSigningServices(
               std::make_shared<platform::security::ImageVerificationCache>()),
           expectedIdentifier, requiredSignatureFlags](std::int32_t pid) {
              return LiveClientCodeInspector::evidence(
                  pid, services, [&](const ClientCodeEvidence& peer) {
                      return statementFailure(expectedIdentifier, requiredSignatureFlags, peer);
                  });
          },
          std::move(expectedHashProvider)) {}

ClientCodeAuthorizer::ClientCodeAuthorizer(std::string expectedIdentifier,
                                           std::uint32_t requiredSignatureFlags,
                                           EvidenceProvider evidenceProvider,
                                           ExpectedHashProvider expectedHashProvider)
    : expectedIdentifier(std::move(expectedIdentifier)),
      requiredSignatureFlags(requiredSignatureFlags),
      evidenceProvider(std::move(evidenceProvider)),
      expectedHashProvider(std::move(expectedHashProvider)) {}

AuthorizationResult ClientCodeAuthorizer::authorize(std::int32_t processIdentifier) const {
    const auto expected = expectedHashProvider();
    if (!expected.isSuccess())
        return AuthorizationResult::failure(expected.error());
    // The expected hash is checked before the peer is examined at all.
    const std::string expectedHash = trimmedLowercase(expected.value());
    if (!isWellFormedHash(expectedHash))
        return AuthorizationResult::failure(ClientAuthorizationFailure::expectedHashInvalid);

    const auto evidence = evidenceProvider(processIdentifier);
    if (!evidence.isSuccess())
        return AuthorizationResult::failure(evidence.error());
    const ClientCodeEvidence& peer = evidence.value();

    if (const auto failure = statementFailure(expectedIdentifier, requiredSignatureFlags, peer))
        return AuthorizationResult::failure(*failure);

    if (!equalIgnoringCase(peer.cdHash, expectedHash))
        return AuthorizationResult::failure(ClientAuthorizationFailure::cdHashMismatch);
    return AuthorizationResult::success(Success{});
}

}  // namespace ventrella::security
