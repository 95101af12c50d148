#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "VentrellaSecurity/ClientAuthorizationFailure.h"
#include "VentrellaSecurity/ClientCodeAuthorizer.h"
#include "VentrellaSecurity/ClientCodeSignaturePolicy.h"

namespace ventrella::security {
namespace {

using Failure = ClientAuthorizationFailure;
using EvidenceResult = Result<ClientCodeEvidence, Failure>;
using HashResult = Result<std::string, Failure>;

const std::string hashLower = "0123456789abcdef0123456789abcdef01234567";
const std::string hashUpper = "0123456789ABCDEF0123456789ABCDEF01234567";

ClientCodeEvidence goodEvidence() {
    return ClientCodeEvidence{"com.quillmoor.Ventrella", hashLower,
                              ClientCodeSignaturePolicy::hardenedRuntime, false};
}

struct Harness {
    ClientCodeEvidence evidence = goodEvidence();
    std::optional<Failure> evidenceFailure;
    HashResult expected = HashResult::success(hashLower);
    int evidenceCalls = 0;
    std::int32_t lastPid = 0;

    Result<Success, Failure> authorize(
        std::uint32_t required = ClientCodeSignaturePolicy::hardenedRuntime) {
        const ClientCodeAuthorizer authorizer(
            "com.quillmoor.Ventrella", required,
            [this](std::int32_t pid) {
                ++evidenceCalls;
                lastPid = pid;
                return evidenceFailure ? EvidenceResult::failure(*evidenceFailure)
                                       : EvidenceResult::success(evidence);
            },
            [this] { return expected; });
        return authorizer.authorize(4242);
    }
};

Result<Success, Failure> refused(Failure failure) {
    return Result<Success, Failure>::failure(failure);
}
const auto accepted = Result<Success, Failure>::success(Success{});

TEST(ClientCodeAuthorizer, AcceptsTheGenuineClientAndAsksForItsProcess) {
    Harness harness;
    EXPECT_EQ(harness.authorize(), accepted);
    EXPECT_EQ(harness.lastPid, 4242);
}

TEST(ClientCodeAuthorizer, ExpectedHashIsTrimmedLowercasedAndMatchedIgnoringCase) {
    Harness harness;
    harness.expected = HashResult::success(" \t" + hashUpper + "\n");
    EXPECT_EQ(harness.authorize(), accepted);
    // White space and line breaks of all of Unicode, at either end and several in a row.
    for (const std::string space :
         {"\r\n", "\v\f", "\xc2\x85", "\xc2\xa0", "\xe1\x9a\x80", "\xe2\x80\x80", "\xe2\x80\x8a",
          "\xe2\x80\xa8", "\xe2\x80\xa9", "\xe2\x80\xaf", "\xe2\x81\x9f", "\xe3\x80\x80",
          "\xe3\x80\x80\xc2\xa0 \n"}) {
        harness.expected = HashResult::success(space + hashUpper + space);
        EXPECT_EQ(harness.authorize(), accepted) << ::testing::PrintToString(space);
    }
    // Neither a zero-width space nor a byte-order mark is white space, nor is a lone byte of a
    // longer sequence.
    for (const std::string notSpace : {"\xe2\x80\x8b", "\xef\xbb\xbf", "\xa0", "\xe3\x80"}) {
        harness.expected = HashResult::success(hashLower + notSpace);
        EXPECT_EQ(harness.authorize(), refused(Failure::expectedHashInvalid))
            << ::testing::PrintToString(notSpace);
        harness.expected = HashResult::success(notSpace + hashLower);
        EXPECT_EQ(harness.authorize(), refused(Failure::expectedHashInvalid))
            << ::testing::PrintToString(notSpace);
    }
    harness.evidence.cdHash = hashUpper;
    harness.expected = HashResult::success(hashLower);
    EXPECT_EQ(harness.authorize(), accepted);
}

TEST(ClientCodeAuthorizer, ExpectedHashProblemsComeBeforeThePeerIsExamined) {
    Harness harness;
    harness.evidenceFailure = Failure::guestLookupFailed;
    harness.expected = HashResult::failure(Failure::expectedHashUnavailable);
    EXPECT_EQ(harness.authorize(), refused(Failure::expectedHashUnavailable));

    for (const std::string& bad :
         {hashLower.substr(0, 39), hashLower + "0", hashLower.substr(0, 38) + "g0",
          hashLower.substr(0, 20) + " " + hashLower.substr(21), std::string(),
          hashLower.substr(0, 38)}) {
        harness.expected = HashResult::success(bad);
        EXPECT_EQ(harness.authorize(), refused(Failure::expectedHashInvalid)) << bad;
    }
    EXPECT_EQ(harness.evidenceCalls, 0);

    // Longer hashes of an even length are well formed.
    harness.evidenceFailure.reset();
    harness.expected = HashResult::success(hashLower + "ab");
    EXPECT_EQ(harness.authorize(), refused(Failure::cdHashMismatch));
}

TEST(ClientCodeAuthorizer, PassesEvidenceFailuresOnUnchanged) {
    Harness harness;
    harness.evidenceFailure = Failure::signatureFlagsMissing;
    EXPECT_EQ(harness.authorize(), refused(Failure::signatureFlagsMissing));
}

TEST(ClientCodeAuthorizer, IdentifierMustMatchExactlyBeforeFlagsAndHash) {
    Harness harness;
    harness.evidence.identifier = "com.quillmoor.ventrella";
    harness.evidence.signatureFlags = 0;
    harness.evidence.cdHash = std::string(40, '0');
    EXPECT_EQ(harness.authorize(), refused(Failure::identifierMismatch));
}

TEST(ClientCodeAuthorizer, RequiredFlagsAllowOnlyTheEntitledLibraryValidationException) {
    struct Case {
        std::uint32_t required;
        std::uint32_t flags;
        bool entitled;
        bool accepted;
    };
    const Case cases[] = {
        {0x12000, 0x12000, false, true},  {0x12000, 0x10000, true, true},
        {0x12000, 0x10000, false, false}, {0x12000, 0x2000, true, false},
        {0x12000, 0x0, true, false},      {0x2000, 0x0, true, false},
        {0x12000, 0x13001, false, true},  {0x0, 0x0, false, true},
        {0x12001, 0x10001, true, true},   {0x12001, 0x10000, true, false},
    };
    for (const auto& c : cases) {
        Harness harness;
        harness.evidence.signatureFlags = c.flags;
        harness.evidence.disablesLibraryValidation = c.entitled;
        EXPECT_EQ(harness.authorize(c.required),
                  c.accepted ? accepted : refused(Failure::requiredFlagsMissing))
            << std::hex << c.required << " " << c.flags << " " << c.entitled;
    }
}

TEST(ClientCodeAuthorizer, DifferentHashIsRefusedLast) {
    Harness harness;
    harness.evidence.cdHash = std::string(40, 'f');
    EXPECT_EQ(harness.authorize(), refused(Failure::cdHashMismatch));
    harness.evidence.cdHash = hashLower.substr(0, 38);
    EXPECT_EQ(harness.authorize(), refused(Failure::cdHashMismatch));
}

TEST(ClientAuthorizationFailure, RawValuesAreTheCaseNamesInOrderAndRoundTrip) {
    const char* names[] = {
        "expectedHashUnavailable", "expectedHashInvalid",   "guestLookupFailed",
        "liveValidationFailed",    "staticCodeUnavailable", "signingInformationUnavailable",
        "identifierMissing",       "cdHashMissing",         "signatureFlagsMissing",
        "identifierMismatch",      "requiredFlagsMissing",  "cdHashMismatch"};
    ASSERT_EQ(std::size(names), allClientAuthorizationFailures.size());
    for (std::size_t i = 0; i < std::size(names); ++i) {
        const auto failure = allClientAuthorizationFailures[i];
        EXPECT_EQ(static_cast<std::size_t>(failure), i);
        EXPECT_EQ(rawValue(failure), names[i]);
        EXPECT_EQ(clientAuthorizationFailure(names[i]), failure);
        const nlohmann::json json = failure;
        EXPECT_EQ(json.dump(), std::string("\"") + names[i] + "\"");
        EXPECT_EQ(json.get<ClientAuthorizationFailure>(), failure);
    }
    EXPECT_EQ(clientAuthorizationFailure("CDHashMismatch"), std::nullopt);
    EXPECT_THROW(nlohmann::json("noSuchReason").get<ClientAuthorizationFailure>(),
                 nlohmann::json::exception);
    EXPECT_THROW(nlohmann::json(3).get<ClientAuthorizationFailure>(), nlohmann::json::exception);
}

}  // namespace
}  // namespace ventrella::security
