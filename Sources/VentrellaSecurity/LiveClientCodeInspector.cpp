#include "VentrellaSecurity/LiveClientCodeInspector.h"

namespace ventrella::security::LiveClientCodeInspector {

namespace ps = platform::security;

EvidenceResult evidence(std::int32_t processIdentifier) {
    return evidence(processIdentifier, ps::systemCodeSigningServices());
}

EvidenceResult evidence(std::int32_t processIdentifier, const ps::CodeSigningServices& services,
                        const EvidenceScreen& screen) {
    ps::Code code;
    if (services.copyGuestWithProcessIdentifier(processIdentifier, ps::defaultFlags, code) !=
            ps::statusSuccess ||
        !code)
        return EvidenceResult::failure(ClientAuthorizationFailure::guestLookupFailed);
    if (services.checkValidity(code, validationFlags | ps::validityWithoutImageHash) !=
        ps::statusSuccess)
        return EvidenceResult::failure(ClientAuthorizationFailure::liveValidationFailed);
    ps::StaticCode staticCode;
    if (services.copyStaticCode(code, ps::defaultFlags, staticCode) != ps::statusSuccess ||
        !staticCode)
        return EvidenceResult::failure(ClientAuthorizationFailure::staticCodeUnavailable);
    ps::Value information;
    if (services.copySigningInformation(staticCode, ps::signingInformationFlag, information) !=
        ps::statusSuccess)
        return EvidenceResult::failure(ClientAuthorizationFailure::signingInformationUnavailable);
    auto result = evidenceFromSigningInformation(information);
    if (!result.isSuccess())
        return result;
    if (screen) {
        if (const auto failure = screen(result.value()))
            return EvidenceResult::failure(*failure);
    }
    if (services.checkValidity(code, validationFlags) != ps::statusSuccess)
        return EvidenceResult::failure(ClientAuthorizationFailure::liveValidationFailed);
    return result;
}

LiveCheck liveCheck(std::int32_t processIdentifier) {
    return liveCheck(processIdentifier, ps::systemCodeSigningServices());
}

LiveCheck liveCheck(std::int32_t processIdentifier, const ps::CodeSigningServices& services) {
    ps::Code code;
    if (!services.checkDynamicValidity ||
        services.copyGuestWithProcessIdentifier(processIdentifier, ps::defaultFlags, code) !=
            ps::statusSuccess ||
        !code)
        return [] { return false; };
    return [check = services.checkDynamicValidity, code] {
        return check(code, ps::defaultFlags) == ps::statusSuccess;
    };
}

EvidenceResult evidenceFromSigningInformation(const ps::Value& information) {
    const ps::Dictionary* dictionary = information.dictionary();
    if (dictionary == nullptr)
        return EvidenceResult::failure(ClientAuthorizationFailure::signingInformationUnavailable);
    const auto find = [dictionary](const char* key) -> const ps::Value* {
        const auto found = dictionary->find(key);
        return found == dictionary->end() ? nullptr : &found->second;
    };

    ClientCodeEvidence evidence;
    const ps::Value* identifier = find(ps::infoIdentifier);
    if (identifier == nullptr || identifier->string() == nullptr)
        return EvidenceResult::failure(ClientAuthorizationFailure::identifierMissing);
    evidence.identifier = *identifier->string();

    const ps::Value* unique = find(ps::infoUnique);
    if (unique == nullptr || unique->data() == nullptr)
        return EvidenceResult::failure(ClientAuthorizationFailure::cdHashMissing);
    static constexpr char digits[] = "0123456789abcdef";
    for (const std::uint8_t byte : *unique->data()) {
        evidence.cdHash.push_back(digits[byte >> 4]);
        evidence.cdHash.push_back(digits[byte & 0x0f]);
    }

    const ps::Value* flags = find(ps::infoFlags);
    if (flags == nullptr || flags->number() == nullptr)
        return EvidenceResult::failure(ClientAuthorizationFailure::signatureFlagsMissing);
    evidence.signatureFlags = static_cast<std::uint32_t>(flags->number()->value);

    if (const ps::Value* entitlements = find(ps::infoEntitlementsDict)) {
        if (const ps::Dictionary* table = entitlements->dictionary()) {
            const auto found = table->find(disableLibraryValidationEntitlement);
            evidence.disablesLibraryValidation = found != table->end() &&
                                                 found->second.boolean() != nullptr &&
                                                 *found->second.boolean();
        }
    }
    return EvidenceResult::success(std::move(evidence));
}

}  // namespace ventrella::security::LiveClientCodeInspector
