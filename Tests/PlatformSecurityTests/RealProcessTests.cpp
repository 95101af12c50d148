#include <gtest/gtest.h>

#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "Platform/Security/Code.h"
#include "Platform/Security/CodeSignature.h"
#include "SecurityProbes.h"
#include "Support/ProbeProcess.h"
#include "VentrellaSecurity/ClientCodeAuthorizer.h"
#include "VentrellaSecurity/ClientCodeSignaturePolicy.h"
#include "VentrellaSecurity/LiveClientCodeInspector.h"

namespace {

namespace ps = platform::security;
namespace vs = ventrella::security;
using ventrella::testsupport::ProbeProcess;
using Failure = vs::ClientAuthorizationFailure;

// The cdhash of a program file, as the helper would store it.
std::string fileCdHash(const std::filesystem::path& path) {
    ps::StaticCode code;
    EXPECT_EQ(ps::createStaticCodeWithPath(path, 0, code), ps::statusSuccess);
    ps::Value information;
    EXPECT_EQ(ps::copySigningInformation(code, ps::signingInformationFlag, information),
              ps::statusSuccess);
    const auto* dictionary = information.dictionary();
    if (dictionary == nullptr || !dictionary->contains(ps::infoUnique))
        return {};
    return ps::lowercaseHex(*dictionary->at(ps::infoUnique).data());
}

vs::Result<vs::Success, Failure> authorizeProbe(pid_t pid, const std::string& expectedHash) {
    const vs::ClientCodeAuthorizer authorizer(
        "com.quillmoor.Ventrella", vs::ClientCodeSignaturePolicy::hardenedRuntime,
        [expectedHash] { return vs::Result<std::string, Failure>::success(expectedHash + "\n"); });
    return authorizer.authorize(pid);
}

std::optional<Failure> refusal(const vs::Result<vs::Success, Failure>& result) {
    return result.isSuccess() ? std::nullopt : std::optional(result.error());
}

class RealProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/ventrella-probes-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        directory = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(directory); }

    // A copy of a probe with one digit of its marker changed: it still runs, but
    // its image no longer matches its signature.
    std::filesystem::path tamperedCopy(const std::string& probe = "good") {
        std::ifstream in(probePath(probe), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const auto at = bytes.find("ventrella-probe-marker-0000");
        EXPECT_NE(at, std::string::npos);
        bytes[at + std::string("ventrella-probe-marker-000").size()] = '1';
        const auto path = directory / ("tampered-" + probe);
        std::ofstream(path, std::ios::binary) << bytes;
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
        return path;
    }

    std::filesystem::path directory;
};

TEST_F(RealProcessTest, CorrectlySignedProcessIsAcceptedWithItsEvidence) {
    const std::string hash = fileCdHash(probePath("good"));
    ASSERT_EQ(hash.size(), 40u);
    ProbeProcess process(probePath("good"));
    ASSERT_TRUE(process.waitReady());

    const auto evidence = vs::LiveClientCodeInspector::evidence(process.pid());
    ASSERT_TRUE(evidence.isSuccess()) << vs::rawValue(evidence.error());
    EXPECT_EQ(evidence.value(),
              (vs::ClientCodeEvidence{"com.quillmoor.Ventrella", hash, 0x12000, false}));
    EXPECT_EQ(refusal(authorizeProbe(process.pid(), hash)), std::nullopt);
    EXPECT_EQ(refusal(authorizeProbe(process.pid(), std::string(40, 'a'))),
              Failure::cdHashMismatch);
    EXPECT_EQ(process.finish(), 0);
}

TEST_F(RealProcessTest, EachWrongProcessIsRefusedWithItsReason) {
    const std::string goodHash = fileCdHash(probePath("good"));
    const auto tampered = tamperedCopy();
    struct Case {
        std::filesystem::path program;
        std::vector<std::string> environment;
        std::optional<Failure> expected;
    };
    const Case cases[] = {
        {tampered, {}, Failure::liveValidationFailed},
        {probePath("unsigned"), {}, Failure::liveValidationFailed},
        {probePath("wrong-identifier"), {}, Failure::identifierMismatch},
        // What the signature states is judged before the image is read.
        {tamperedCopy("wrong-identifier"), {}, Failure::identifierMismatch},
        {tamperedCopy("no-flags"), {}, Failure::requiredFlagsMissing},
        {probePath("no-flags"), {}, Failure::requiredFlagsMissing},
        {probePath("good"), {"LD_PRELOAD=libm.so.6"}, Failure::liveValidationFailed},
        {probePath("good"), {"LD_LIBRARY_PATH=/nonexistent"}, Failure::liveValidationFailed},
        {probePath("good"), {"LD_AUDIT=/nonexistent/audit.so"}, Failure::liveValidationFailed},
        {probePath("good"), {"GCONV_PATH=/nonexistent"}, Failure::liveValidationFailed},
        {probePath("good"), {"QT_PLUGIN_PATH=/nonexistent"}, Failure::liveValidationFailed},
        {probePath("good"),
         {"QT_QPA_PLATFORM_PLUGIN_PATH=/nonexistent"},
         Failure::liveValidationFailed},
        {probePath("good"), {"QML2_IMPORT_PATH=/nonexistent"}, Failure::liveValidationFailed},
        {probePath("good"), {"QML_IMPORT_PATH=/nonexistent"}, Failure::liveValidationFailed},
        // A variable that merely starts like one of them is no loader setting.
        {probePath("good"), {"QT_PLUGIN_PATHS_NOTE=x"}, std::nullopt},
        // Without a hardened-runtime claim the loader settings are not examined.
        {probePath("no-flags"), {"LD_PRELOAD=libm.so.6"}, Failure::requiredFlagsMissing},
    };
    for (const auto& c : cases) {
        ProbeProcess process(c.program, c.environment);
        ASSERT_TRUE(process.waitReady()) << c.program;
        EXPECT_EQ(refusal(authorizeProbe(process.pid(), goodHash)), c.expected)
            << c.program << (c.environment.empty() ? "" : " " + c.environment.front());
        EXPECT_EQ(process.finish(), 0);
    }
}

TEST_F(RealProcessTest, EntitlementReplacesLibraryValidationForAHardenedProcess) {
    const auto program = probePath("entitled");
    ProbeProcess process(program);
    ASSERT_TRUE(process.waitReady());
    const auto evidence = vs::LiveClientCodeInspector::evidence(process.pid());
    ASSERT_TRUE(evidence.isSuccess());
    EXPECT_TRUE(evidence.value().disablesLibraryValidation);
    EXPECT_EQ(evidence.value().signatureFlags, 0x10000u);
    EXPECT_EQ(refusal(authorizeProbe(process.pid(), fileCdHash(program))), std::nullopt);
    process.finish();
}

TEST_F(RealProcessTest, ProcessesThatAreGoneAreNotFound) {
    const std::string hash = fileCdHash(probePath("good"));
    pid_t reapedPid = 0;
    {
        ProbeProcess process(probePath("good"));
        ASSERT_TRUE(process.waitReady());
        reapedPid = process.pid();
        process.finish();
    }
    EXPECT_EQ(refusal(authorizeProbe(reapedPid, hash)), Failure::guestLookupFailed);

    ProbeProcess zombie(probePath("good"));
    ASSERT_TRUE(zombie.waitReady());
    ASSERT_TRUE(zombie.waitUntilExitedButNotReaped());
    EXPECT_EQ(refusal(authorizeProbe(zombie.pid(), hash)), Failure::guestLookupFailed);
    zombie.finish();

    EXPECT_EQ(refusal(authorizeProbe(0, hash)), Failure::guestLookupFailed);
    EXPECT_EQ(refusal(authorizeProbe(-1, hash)), Failure::guestLookupFailed);
}

TEST_F(RealProcessTest, TracedHardenedProcessIsRefused) {
    ProbeProcess process(probePath("good"));
    ASSERT_TRUE(process.waitReady());
    const std::string hash = fileCdHash(probePath("good"));
    ASSERT_EQ(refusal(authorizeProbe(process.pid(), hash)), std::nullopt);
    ASSERT_EQ(::ptrace(PTRACE_SEIZE, process.pid(), nullptr, nullptr), 0)
        << "tracing is not permitted here";
    EXPECT_EQ(refusal(authorizeProbe(process.pid(), hash)), Failure::liveValidationFailed);
    EXPECT_EQ(process.finish(), 0);
}

TEST_F(RealProcessTest, HardenedProcessOfAnotherUserMustHaveSealedItself) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "starting a probe as another user needs root";
    }
    // A copy that the other user can reach, whatever the permissions of the build tree.
    std::filesystem::permissions(
        directory, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                       std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                       std::filesystem::perms::others_exec);
    const auto good = directory / "good";
    const auto unhardened = directory / "no-flags";
    std::filesystem::copy_file(probePath("good"), good);
    std::filesystem::copy_file(probePath("no-flags"), unhardened);
    const std::vector<std::string> asNobody{"setpriv", "--reuid=65534", "--regid=65534",
                                            "--clear-groups"};
    // Its own user namespace without a root of its own: the kernel hands the files of the sealed
    // process to the real root, but whoever made the namespace may trace it.
    std::vector<std::string> inOwnNamespace = asNobody;
    inOwnNamespace.insert(inOwnNamespace.end(), {"unshare", "--map-current-user"});
    const std::string hash = fileCdHash(good);
    struct Case {
        std::filesystem::path program;
        std::vector<std::string> environment;
        const std::vector<std::string>& launcher;
        std::optional<Failure> expected;
    };
    const Case cases[] = {
        {good, {}, asNobody, std::nullopt},
        // Anyone of the same user could read its memory or attach to it.
        {good, {"PROBE_DUMPABLE=1"}, asNobody, Failure::liveValidationFailed},
        // Without a hardened-runtime claim nobody asks.
        {unhardened, {"PROBE_DUMPABLE=1"}, asNobody, Failure::requiredFlagsMissing},
        {good, {}, inOwnNamespace, Failure::liveValidationFailed},
        {unhardened, {}, inOwnNamespace, Failure::liveValidationFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program.filename().string() +
                     (c.environment.empty() ? "" : " " + c.environment.front()) +
                     (c.launcher.size() > asNobody.size() ? " in its own namespace" : ""));
        ProbeProcess process(c.program, c.environment, c.launcher);
        ASSERT_TRUE(process.waitReady());
        EXPECT_EQ(refusal(authorizeProbe(process.pid(), hash)), c.expected);
        EXPECT_EQ(process.finish(), 0);
    }
}

TEST_F(RealProcessTest, LiveCheckRefusesATraceANamespaceOrAnotherImageAtAnyLaterMessage) {
    enum class Change { none, traced, ownUserNamespace };
    struct Case {
        const char* probe;
        Change change;
        bool stillLive;
    };
    const Case cases[] = {
        {"good", Change::none, true},
        {"good", Change::traced, false},
        // Nothing claims the hardened runtime: a tracer is its own business.
        {"no-flags", Change::traced, true},
        {"good", Change::ownUserNamespace, false},
        {"no-flags", Change::ownUserNamespace, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.probe) + " change " +
                     std::to_string(static_cast<int>(c.change)));
        ProbeProcess process(probePath(c.probe));
        ASSERT_TRUE(process.waitReady());
        const auto check = vs::LiveClientCodeInspector::liveCheck(process.pid());
        EXPECT_TRUE(check()) << "just after acceptance";
        if (c.change == Change::traced) {
            ASSERT_EQ(::ptrace(PTRACE_SEIZE, process.pid(), nullptr, nullptr), 0);
        } else if (c.change == Change::ownUserNamespace) {
            process.send("unshare-user");
            ASSERT_TRUE(process.waitReady());
        }
        EXPECT_EQ(check(), c.stillLive);
        if (c.change == Change::none) {
            // Same process id and start time, another image.
            process.send("exec " + probePath("no-flags").string());
            ASSERT_TRUE(process.waitReady());
            EXPECT_FALSE(check());
        }
        process.finish();
        EXPECT_FALSE(check()) << "gone";
    }
    EXPECT_FALSE(vs::LiveClientCodeInspector::liveCheck(-1)());
}

TEST_F(RealProcessTest, PinnedCodeNoLongerValidatesOnceTheProcessIsReplacedOrGone) {
    ProbeProcess process(probePath("no-flags"));
    ASSERT_TRUE(process.waitReady());
    ps::Code code;
    ASSERT_EQ(ps::copyGuestWithProcessIdentifier(process.pid(), 0, code), ps::statusSuccess);
    EXPECT_EQ(ps::checkValidity(code, vs::LiveClientCodeInspector::validationFlags),
              ps::statusSuccess);

    // Same process id and start time, another image.
    process.send("exec " + probePath("good").string());
    ASSERT_TRUE(process.waitReady());
    EXPECT_EQ(ps::checkValidity(code, 0), ps::statusNoSuchCode);
    ps::Code replaced;
    ASSERT_EQ(ps::copyGuestWithProcessIdentifier(process.pid(), 0, replaced), ps::statusSuccess);
    EXPECT_EQ(ps::checkValidity(replaced, 0), ps::statusSuccess);

    // The static code of pinned running code is the image it was started from.
    ps::StaticCode staticCode;
    ASSERT_EQ(ps::copyStaticCode(code, 0, staticCode), ps::statusSuccess);
    std::filesystem::path path;
    ASSERT_EQ(ps::copyPath(staticCode, 0, path), ps::statusSuccess);
    EXPECT_EQ(path, probePath("no-flags"));

    process.finish();
    EXPECT_NE(ps::checkValidity(replaced, 0), ps::statusSuccess);
    EXPECT_NE(ps::checkValidity(code, 0), ps::statusSuccess);
}

TEST(RunningCode, ThisUnsignedProgramIsFoundButNotValid) {
    ps::Code self;
    ASSERT_EQ(ps::copySelf(0, self), ps::statusSuccess);
    EXPECT_EQ(ps::checkValidity(self, 0), ps::statusUnsigned);
    EXPECT_EQ(ps::checkValidity(ps::Code(), 0), ps::statusInvalidObject);
    ps::StaticCode staticCode;
    EXPECT_EQ(ps::copyStaticCode(ps::Code(), 0, staticCode), ps::statusInvalidObject);
}

}  // namespace
