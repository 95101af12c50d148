#include <gtest/gtest.h>

#include <unistd.h>

#include <optional>
#include <vector>

#include "VentrellaSecurity/LiveClientCodeInspector.h"
#include "VentrellaSecurity/RunningCodeLocator.h"

namespace ventrella::security {
namespace {

namespace ps = platform::security;
using Failure = ClientAuthorizationFailure;

ps::Dictionary signedInformation() {
    return ps::Dictionary{
        {ps::infoIdentifier, ps::Value("com.quillmoor.Ventrella")},
        {ps::infoUnique, ps::Value(ps::Data{0x00, 0x0f, 0xa0, 0xff})},
        {ps::infoFlags, ps::Value(ps::Number{0x12000})},
    };
}

// Each call answers with its own status; the code objects are placeholders.
struct FakeServices {
    ps::OSStatus guest = ps::statusSuccess;
    bool guestObject = true;
    ps::OSStatus validity = ps::statusSuccess;
    // The answer once the image is hashed too.
    ps::OSStatus imageValidity = ps::statusSuccess;
    ps::OSStatus staticCode = ps::statusSuccess;
    bool staticObject = true;
    ps::OSStatus information = ps::statusSuccess;
    ps::Value dictionary = ps::Value(signedInformation());
    std::vector<std::uint32_t> validityFlags;
    std::uint32_t informationFlags = 0;
    pid_t pid = 0;

    ps::CodeSigningServices services() {
        ps::CodeSigningServices s;
        s.copyGuestWithProcessIdentifier = [this](pid_t p, std::uint32_t, ps::Code& code) {
            pid = p;
            if (guestObject)
                code = ps::Code(std::make_shared<ps::Code::State>());
            return guest;
        };
        s.copySelf = [this](std::uint32_t, ps::Code& code) {
            if (guestObject)
                code = ps::Code(std::make_shared<ps::Code::State>());
            return guest;
        };
        s.checkValidity = [this](const ps::Code&, std::uint32_t flags) {
            validityFlags.push_back(flags);
            return (flags & ps::validityWithoutImageHash) != 0 || validity != ps::statusSuccess
                       ? validity
                       : imageValidity;
        };
        s.copyStaticCode = [this](const ps::Code&, std::uint32_t, ps::StaticCode& code) {
            if (staticObject)
                code = ps::StaticCode(std::make_shared<ps::StaticCode::State>());
            return staticCode;
        };
        s.copySigningInformation = [this](const ps::StaticCode&, std::uint32_t flags,
                                          ps::Value& value) {
            informationFlags = flags;
            value = dictionary;
            return information;
        };
        s.copyPath = [](const ps::StaticCode&, std::uint32_t, std::filesystem::path& path) {
            path = "/Applications/Ventrella.app/Contents/Library/LaunchServices/helper";
            return ps::statusSuccess;
        };
        return s;
    }

    LiveClientCodeInspector::EvidenceResult evidence(
        const LiveClientCodeInspector::EvidenceScreen& screen = {}) {
        return LiveClientCodeInspector::evidence(77, services(), screen);
    }
};

Failure failureOf(const LiveClientCodeInspector::EvidenceResult& result) {
    EXPECT_FALSE(result.isSuccess());
    return result.isSuccess() ? Failure::expectedHashUnavailable : result.error();
}

TEST(LiveClientCodeInspector, ReadsEvidenceWithStrictValidationAndSigningInformation) {
    FakeServices fake;
    const auto result = fake.evidence();
    ASSERT_TRUE(result.isSuccess());
    EXPECT_EQ(result.value(),
              (ClientCodeEvidence{"com.quillmoor.Ventrella", "000fa0ff", 0x12000, false}));
    EXPECT_EQ(fake.pid, 77);
    // Everything but the image first, the image itself last.
    EXPECT_EQ(fake.validityFlags, (std::vector<std::uint32_t>{0x14, 0x10}));
    EXPECT_EQ(fake.informationFlags, 2u);
}

TEST(LiveClientCodeInspector, TheImageIsHashedOnlyOnceTheSignaturesStatementsPass) {
    FakeServices fake;
    fake.imageValidity = ps::statusSignatureInvalid;
    const auto wrongIdentifier = [](const ClientCodeEvidence& evidence) {
        EXPECT_EQ(evidence.identifier, "com.quillmoor.Ventrella");
        return std::optional(Failure::identifierMismatch);
    };
    EXPECT_EQ(failureOf(fake.evidence(wrongIdentifier)), Failure::identifierMismatch);
    EXPECT_EQ(fake.validityFlags, std::vector<std::uint32_t>{0x14}) << "the image was read";

    fake.validityFlags.clear();
    const auto passes = [](const ClientCodeEvidence&) { return std::optional<Failure>(); };
    EXPECT_EQ(failureOf(fake.evidence(passes)), Failure::liveValidationFailed);
    EXPECT_EQ(fake.validityFlags, (std::vector<std::uint32_t>{0x14, 0x10}));
}

TEST(LiveClientCodeInspector, EachPlatformStepFailsWithItsOwnReason) {
    {
        FakeServices fake;
        fake.guest = ps::statusNoSuchCode;
        EXPECT_EQ(failureOf(fake.evidence()), Failure::guestLookupFailed);
    }
    {
        FakeServices fake;
        fake.guestObject = false;
        EXPECT_EQ(failureOf(fake.evidence()), Failure::guestLookupFailed);
    }
    {
        FakeServices fake;
        fake.validity = ps::statusSignatureInvalid;
        EXPECT_EQ(failureOf(fake.evidence()), Failure::liveValidationFailed);
    }
    {
        FakeServices fake;
        fake.staticCode = ps::statusIOError;
        EXPECT_EQ(failureOf(fake.evidence()), Failure::staticCodeUnavailable);
    }
    {
        FakeServices fake;
        fake.staticObject = false;
        EXPECT_EQ(failureOf(fake.evidence()), Failure::staticCodeUnavailable);
    }
    {
        FakeServices fake;
        fake.information = ps::statusIOError;
        EXPECT_EQ(failureOf(fake.evidence()), Failure::signingInformationUnavailable);
    }
    {
        FakeServices fake;
        fake.dictionary = ps::Value("not a dictionary");
        EXPECT_EQ(failureOf(fake.evidence()), Failure::signingInformationUnavailable);
    }
}

TEST(LiveClientCodeInspector, ValuesOfTheWrongTypeCountAsMissing) {
    const auto withValue = [](const char* key, std::optional<ps::Value> value) {
        auto dictionary = signedInformation();
        dictionary.erase(key);
        if (value)
            dictionary.emplace(key, *value);
        return LiveClientCodeInspector::evidenceFromSigningInformation(ps::Value(dictionary));
    };
    EXPECT_EQ(failureOf(withValue(ps::infoIdentifier, std::nullopt)), Failure::identifierMissing);
    EXPECT_EQ(failureOf(withValue(ps::infoIdentifier, ps::Value(ps::Data{'a'}))),
              Failure::identifierMissing);
    EXPECT_EQ(failureOf(withValue(ps::infoUnique, std::nullopt)), Failure::cdHashMissing);
    EXPECT_EQ(failureOf(withValue(ps::infoUnique, ps::Value("000fa0ff"))), Failure::cdHashMissing);
    EXPECT_EQ(failureOf(withValue(ps::infoFlags, std::nullopt)), Failure::signatureFlagsMissing);
    EXPECT_EQ(failureOf(withValue(ps::infoFlags, ps::Value(true))), Failure::signatureFlagsMissing);
    EXPECT_EQ(failureOf(withValue(ps::infoFlags, ps::Value("0x12000"))),
              Failure::signatureFlagsMissing);
}

TEST(LiveClientCodeInspector, OnlyABooleanTrueEntitlementDisablesLibraryValidation) {
    const auto disables = [](std::optional<ps::Value> entitlements) {
        auto dictionary = signedInformation();
        if (entitlements)
            dictionary.emplace(ps::infoEntitlementsDict, *entitlements);
        const auto result =
            LiveClientCodeInspector::evidenceFromSigningInformation(ps::Value(dictionary));
        EXPECT_TRUE(result.isSuccess());
        return result.isSuccess() && result.value().disablesLibraryValidation;
    };
    const char* key = "com.apple.security.cs.disable-library-validation";
    EXPECT_TRUE(disables(ps::Value(ps::Dictionary{{key, ps::Value(true)}})));
    EXPECT_FALSE(disables(std::nullopt));
    EXPECT_FALSE(disables(ps::Value(ps::Dictionary{{key, ps::Value(false)}})));
    EXPECT_FALSE(disables(ps::Value(ps::Dictionary{{key, ps::Value("true")}})));
    EXPECT_FALSE(disables(ps::Value(ps::Dictionary{{key, ps::Value(ps::Number{1})}})));
    EXPECT_FALSE(disables(ps::Value(ps::Dictionary{{"other", ps::Value(true)}})));
    EXPECT_FALSE(disables(ps::Value("not a dictionary")));
}

TEST(RunningCodeLocator, ResolvesThisProgramAndGivesNothingOnAnyFailure) {
    const auto current = RunningCodeLocator::currentURL();
    ASSERT_TRUE(current.has_value());
    EXPECT_EQ(*current, std::filesystem::read_symlink("/proc/self/exe"));

    FakeServices fake;
    EXPECT_EQ(RunningCodeLocator::currentURL(fake.services()),
              std::filesystem::path(
                  "/Applications/Ventrella.app/Contents/Library/LaunchServices/helper"));
    fake.guest = ps::statusNoSuchCode;
    EXPECT_EQ(RunningCodeLocator::currentURL(fake.services()), std::nullopt);
    fake.guest = ps::statusSuccess;
    fake.staticObject = false;
    EXPECT_EQ(RunningCodeLocator::currentURL(fake.services()), std::nullopt);
}

}  // namespace
}  // namespace ventrella::security
