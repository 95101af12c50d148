#include <gtest/gtest.h>

#include <cerrno>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "Support/CallLog.h"
#include "Support/FakeDaemonService.h"
#include "Support/FakeHelperInstaller.h"
#include "Support/TemporaryBundle.h"
#include "Support/TemporaryPlatformRoot.h"
#include "Support/VirtualClock.h"
#include "Ventrella/Core/VentrellaError.h"
#include "Ventrella/Hardware/HelperInstaller.h"

namespace ventrella::apphardware {
namespace {

namespace fs = std::filesystem;
namespace sm = platform::servicemanagement;
namespace security = platform::security;
using core::VentrellaError;
using fakes::CallLog;
using fakes::FakeDaemonService;
using platform::foundation::Bundle;
using platform::foundation::ProcessOutput;
using Status = sm::ServiceStatus;

const std::string removedMessage =
    "Ventrella Helper was removed; fan control is now managed by Apple Automatic.";
const std::string prefix = "do shell script (\"/bin/zsh \" & quoted form of \"";
const std::string suffix = "\") with administrator privileges";

const std::string plistWithFlag = R"(<plist version="1.0"><dict>
<key>VentrellaUseSMAppService</key><true/></dict></plist>)";

sm::ServiceError posix(int code, std::shared_ptr<const sm::ServiceError> underlying = nullptr) {
    return sm::ServiceError(sm::kPOSIXErrorDomain, code, "POSIX error", std::move(underlying));
}

// `error` wrapped in `levels` errors of the service-management domain.
sm::ServiceError buried(const sm::ServiceError& error, int levels) {
    auto current = std::make_shared<const sm::ServiceError>(error);
    for (int level = 0; level < levels; ++level) {
        current = std::make_shared<const sm::ServiceError>(sm::kServiceManagementErrorDomain,
                                                           sm::internalFailure, "wrapped", current);
    }
    return *current;
}

// The installer against a temporary bundle, a fake service, a scripted osascript, code-signing
// answers the test sets, and a virtual clock. Calls are logged in order.
class HelperInstallerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        bundle.addInfoPlist(plistWithFlag);
        bundle.write(bundle.resources() / "install-helper.sh", "#!/bin/sh\n");
        bundle.write(bundle.resources() / "uninstall-helper.sh", "#!/bin/sh\n");
        bundlePath = bundle.path();
    }

    HelperInstaller::Environment environment() {
        HelperInstaller::Environment environment;
        environment.mainBundle = [this] { return *Bundle::atPath(bundlePath); };
        environment.codeSigning.copySelf = [this](std::uint32_t, security::Code&) {
            return selfStatus;
        };
        environment.codeSigning.copyStaticCode = [this](const security::Code&, std::uint32_t,
                                                        security::StaticCode&) {
            return staticCodeStatus;
        };
        environment.codeSigning.copySigningInformation =
            [this](const security::StaticCode&, std::uint32_t flags, security::Value& value) {
                EXPECT_EQ(flags, security::signingInformationFlag);
                value = signingInformation;
                return informationStatus;
            };
        environment.makeService = [this](const fs::path& path, std::string_view name) {
            servicesMade.emplace_back(path, std::string(name));
            return service;
        };
        environment.runProcess = [this](const fs::path& program,
                                        const std::vector<std::string>& arguments) {
            EXPECT_EQ(program, root.path() / "usr/bin/osascript");
            const std::string& source = arguments.at(1);
            const auto name = source.rfind('/') + 1;
            log->record("osascript " + source.substr(name, source.find('"', name) - name));
            sources.push_back(arguments);
            if (startFailure) {
                throw *startFailure;
            }
            if (answers.empty()) {
                return ProcessOutput{0, ""};
            }
            auto answer = answers.front();
            answers.pop_front();
            return answer;
        };
        environment.wait = clock.waitFunction();
        return environment;
    }

    void useScripts() {
        signingInformation = security::Dictionary{{"identifier", "com.quillmoor.Ventrella"}};
    }
    fs::path legacyHelper() const {
        return root.path() / "Library/PrivilegedHelperTools/com.quillmoor.Ventrella.helper";
    }
    void placeLegacyHelper() const {
        fs::create_directories(legacyHelper().parent_path());
        std::ofstream(legacyHelper()) << "helper";
    }

    testsupport::TemporaryPlatformRoot root;
    testsupport::TemporaryBundle bundle;
    fs::path bundlePath;
    std::shared_ptr<CallLog> log = std::make_shared<CallLog>();
    std::shared_ptr<FakeDaemonService> service = std::make_shared<FakeDaemonService>(log);
    fakes::VirtualClock clock{0, log};
    security::OSStatus selfStatus = security::statusSuccess;
    security::OSStatus staticCodeStatus = security::statusSuccess;
    security::OSStatus informationStatus = security::statusSuccess;
    security::Value signingInformation =
        security::Dictionary{{"identifier", "com.quillmoor.Ventrella"}, {"teamid", "QM7V3NTR1A"}};
    std::vector<std::pair<fs::path, std::string>> servicesMade;
    std::deque<ProcessOutput> answers;
    std::vector<std::vector<std::string>> sources;
    std::optional<std::system_error> startFailure;
};

TEST_F(HelperInstallerTest, TheServiceNeedsTheFlagAndASigningTeamReadAtEveryCall) {
    struct Case {
        std::string name;
        std::function<void()> change;
        bool modern;
    };
    const std::vector<Case> cases = {
        {"flag and team", [] {}, true},
        {"no flag", [&] { bundle.addInfoPlist("<plist version=\"1.0\"><dict/></plist>"); }, false},
        {"flag false",
         [&] {
             bundle.addInfoPlist(R"(<plist version="1.0"><dict>
<key>VentrellaUseSMAppService</key><false/></dict></plist>)");
         },
         false},
        {"flag as a string",
         [&] {
             bundle.addInfoPlist(R"(<plist version="1.0"><dict>
<key>VentrellaUseSMAppService</key><string>true</string></dict></plist>)");
         },
         false},
        {"no Info.plist", [&] { fs::remove(bundle.path() / "Contents/Info.plist"); }, false},
        {"ad-hoc signature", [&] { useScripts(); }, false},
        {"empty team",
         [&] {
             signingInformation = security::Dictionary{{"teamid", ""}};
         },
         false},
        {"team not a string",
         [&] {
             signingInformation = security::Dictionary{{"teamid", security::Number{7}}};
         },
         false},
        {"information not a dictionary", [&] { signingInformation = "teamid"; }, false},
        {"no running code", [&] { selfStatus = security::statusNoSuchCode; }, false},
        {"no static code", [&] { staticCodeStatus = security::statusStaticCodeNotFound; }, false},
        {"no signing information", [&] { informationStatus = security::statusUnsigned; }, false},
    };
    HelperInstaller installer(environment());
    for (const Case& c : cases) {
        SetUp();
        selfStatus = staticCodeStatus = informationStatus = security::statusSuccess;
        signingInformation = security::Dictionary{{"teamid", "QM7V3NTR1A"}};
        c.change();
        EXPECT_EQ(installer.usesModernService(), c.modern) << c.name;
    }
}

TEST_F(HelperInstallerTest, ScriptsRunThroughOsascriptWithTheirPathQuotedForAppleScript) {
    // A bundle whose path holds a blank, double quotes and backslashes.
    bundlePath = bundle.path().parent_path() / "My \"Fan\" \\ Tools\\\"" / "Ventrella.app";
    fs::create_directories(bundlePath.parent_path());
    fs::rename(bundle.path(), bundlePath);
    useScripts();
    HelperInstaller installer(environment());
    EXPECT_EQ(installer.install(), InstallationOutcome::installed);
    answers.push_back({0, removedMessage + "\n"});
    EXPECT_EQ(installer.uninstall(), removedMessage);

    std::string escaped;
    for (const char character : bundlePath.string()) {
        escaped += character == '\\'  ? "\\\\"
                   : character == '"' ? "\\\""
                                      : std::string(1, character);
    }
    ASSERT_EQ(sources.size(), 2u);
    EXPECT_EQ(sources[0],
              (std::vector<std::string>{
                  "-e", prefix + escaped + "/Contents/Resources/install-helper.sh" + suffix}));
    EXPECT_EQ(sources[1],
              (std::vector<std::string>{
                  "-e", prefix + escaped + "/Contents/Resources/uninstall-helper.sh" + suffix}));
    EXPECT_TRUE(servicesMade.empty()) << "the script path touched the service";
}

TEST_F(HelperInstallerTest, ScriptOutcomesBecomeMessagesOrErrors) {
    useScripts();
    struct Case {
        std::string name;
        ProcessOutput answer;
        std::optional<std::string> removal;  // the returned message, else
        std::string error;                   // the error's text
    };
    const std::vector<Case> cases = {
        {"output trimmed", {0, " \t\nRemoved the Helper.\r\n\n"}, "Removed the Helper.", ""},
        {"Unicode white space trimmed",
         {0, "\xC2\xA0\xE2\x80\xA8Removed \xE2\x80\x94 done.\xE3\x80\x80\xC2\x85"},
         "Removed \xE2\x80\x94 done.",
         ""},
        {"no output", {0, ""}, "", ""},
        {"output that is not UTF-8", {0, "Removed\xFF\n"}, "", ""},
        {"a failure's output unchanged",
         {1, "Administrator authorization was denied.\n"},
         std::nullopt,
         "Administrator authorization was denied.\n"},
        {"a failure without output", {1, ""}, std::nullopt, "Helper removal was cancelled."},
        {"a failure whose output is not UTF-8",
         {3, "\xC3\x28 broken"},
         std::nullopt,
         "Helper removal was cancelled."},
        {"ended by a signal", {128 + 9, ""}, std::nullopt, "Helper removal was cancelled."},
    };
    HelperInstaller installer(environment());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        answers = {c.answer};
        try {
            const std::string message = installer.uninstall();
            ASSERT_TRUE(c.removal.has_value()) << "no error";
            EXPECT_EQ(message, *c.removal);
        } catch (const VentrellaError& error) {
            ASSERT_FALSE(c.removal.has_value()) << error.what();
            EXPECT_EQ(error, VentrellaError::commandFailed(c.error));
        }
    }

    answers = {{0, "anything"}};
    EXPECT_EQ(installer.install(), InstallationOutcome::installed);
    answers = {{1, ""}};
    try {
        installer.install();
        ADD_FAILURE() << "no error";
    } catch (const VentrellaError& error) {
        EXPECT_EQ(error, VentrellaError::commandFailed("Helper installation was cancelled."));
    }
}

TEST_F(HelperInstallerTest, ScriptsNeedAnApplicationBundleAndOsascript) {
    useScripts();
    const auto outsideABundle =
        VentrellaError::commandFailed("Run the Ventrella.app bundle to manage the Helper.");
    HelperInstaller installer(environment());
    struct Case {
        std::string name;
        std::function<void()> prepare;
        std::function<void()> call;
    };
    const std::vector<Case> cases = {
        {"installing with no script", [&] { fs::remove(bundle.resources() / "install-helper.sh"); },
         [&] { installer.install(); }},
        {"removing with no script", [&] { fs::remove(bundle.resources() / "uninstall-helper.sh"); },
         [&] { installer.uninstall(); }},
        {"a folder that is no application",
         [&] {
             bundlePath = bundle.path().parent_path() / "Ventrella";
             fs::rename(bundle.path(), bundlePath);
         },
         [&] { installer.install(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.prepare();
        try {
            c.call();
            ADD_FAILURE() << "no error";
        } catch (const VentrellaError& error) {
            EXPECT_EQ(error, outsideABundle);
        }
    }
    EXPECT_TRUE(sources.empty());

    // osascript that cannot be started: its error, unchanged.
    bundlePath = bundle.path();
    SetUp();
    startFailure = std::system_error(ENOENT, std::generic_category(), "cannot start osascript");
    try {
        installer.install();
        ADD_FAILURE() << "no error";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code(), startFailure->code());
        EXPECT_STREQ(error.what(), startFailure->what());
    }
}

// What install() does on the service path, by the service's answers.
TEST_F(HelperInstallerTest, InstallingFollowsTheServiceStatus) {
    const Status unknown = static_cast<Status>(42);
    const auto unsupported = VentrellaError::commandFailed(
        "The Helper registration state is not supported by this macOS version.");
    const auto notEnabled =
        VentrellaError::commandFailed("The Helper was registered but is not enabled.");
    struct Case {
        std::string name;
        Status initial;
        Status afterRegister;
        std::optional<InstallationOutcome> outcome;  // else
        std::optional<VentrellaError> error;
        std::vector<std::string> calls;
    };
    const std::vector<std::string> registration = {"service.status", "service.register",
                                                   "service.status"};
    const std::vector<Case> cases = {
        {"not registered",
         Status::notRegistered,
         Status::enabled,
         InstallationOutcome::installed,
         {},
         registration},
        {"not found",
         Status::notFound,
         Status::enabled,
         InstallationOutcome::installed,
         {},
         registration},
        {"enabled: registered again after the wait",
         Status::enabled,
         Status::enabled,
         InstallationOutcome::installed,
         {},
         {"service.status", "service.unregisterAsync", "clock.wait(2)", "service.register",
          "service.status"}},
        {"waiting for approval: left alone",
         Status::requiresApproval,
         Status::enabled,
         InstallationOutcome::requiresApproval,
         {},
         {"service.status"}},
        {"unknown", unknown, Status::enabled, {}, unsupported, {"service.status"}},
        {"registered into approval",
         Status::notRegistered,
         Status::requiresApproval,
         InstallationOutcome::requiresApproval,
         {},
         registration},
        {"registered but not registered",
         Status::notRegistered,
         Status::notRegistered,
         {},
         notEnabled,
         registration},
        {"registered but not found",
         Status::notRegistered,
         Status::notFound,
         {},
         notEnabled,
         registration},
        {"registered into an unknown state",
         Status::notRegistered,
         unknown,
         {},
         unsupported,
         registration},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log->clear();
        service->currentStatus = c.initial;
        service->statusAfterRegister = c.afterRegister;
        HelperInstaller installer(environment());
        try {
            EXPECT_EQ(installer.install(), c.outcome);
            EXPECT_FALSE(c.error.has_value()) << "no error";
        } catch (const VentrellaError& error) {
            EXPECT_EQ(error, c.error);
        }
        EXPECT_EQ(log->entries(), c.calls);
    }
}

TEST_F(HelperInstallerTest, AFailedRegistrationWaitsForApprovalOnlyWhenItSaysSo) {
    const auto eperm = posix(EPERM);
    struct Case {
        std::string name;
        sm::ServiceError error;
        std::optional<Status> statusAfter;
        bool approval;
    };
    const std::vector<Case> cases = {
        {"EPERM in the POSIX domain", eperm, std::nullopt, true},
        {"EPERM of the service domain",
         sm::ServiceError(sm::kServiceManagementErrorDomain, EPERM, "not permitted"), std::nullopt,
         true},
        {"denied by the user",
         sm::ServiceError(sm::kServiceManagementFrameworkErrorDomain, 11, "denied"), std::nullopt,
         true},
        {"EPERM three levels down", buried(eperm, 3), std::nullopt, true},
        {"EPERM four levels down", buried(eperm, 4), std::nullopt, false},
        {"EPERM's number in another domain",
         sm::ServiceError(sm::kServiceManagementFrameworkErrorDomain, EPERM, "other"), std::nullopt,
         false},
        {"another error", posix(ENOENT), std::nullopt, false},
        {"another error, and the status waits for approval", buried(posix(ENOENT), 2),
         Status::requiresApproval, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log->clear();
        service->currentStatus = Status::notRegistered;
        service->statusAfterFailedRegister = c.statusAfter;
        service->failNextRegister(c.error);
        HelperInstaller installer(environment());
        try {
            EXPECT_EQ(installer.install(), InstallationOutcome::requiresApproval);
            EXPECT_TRUE(c.approval);
        } catch (const sm::ServiceError& error) {
            EXPECT_FALSE(c.approval);
            EXPECT_EQ(error, c.error) << "not the registration's error, unchanged";
        }
        // The status is read again before the error is looked into.
        EXPECT_EQ(log->entries(), (std::vector<std::string>{"service.status", "service.register",
                                                            "service.status"}));
    }
}

TEST_F(HelperInstallerTest, ReplacingAnEnabledDaemonStopsAtAFailedUnregisterOrACancelledWait) {
    service->currentStatus = Status::enabled;
    service->failNextUnregister(posix(EBUSY));
    HelperInstaller installer(environment());
    try {
        installer.install();
        ADD_FAILURE() << "no error";
    } catch (const sm::ServiceError& error) {
        EXPECT_EQ(error, posix(EBUSY));
    }
    EXPECT_EQ(log->entries(),
              (std::vector<std::string>{"service.status", "service.unregisterAsync"}));

    log->clear();
    auto environment = this->environment();
    environment.wait = [this](double seconds) {
        log->record("cancelled wait of " + std::to_string(static_cast<int>(seconds)));
        throw std::runtime_error("cancelled");
    };
    HelperInstaller cancelled(environment);
    EXPECT_THROW(cancelled.install(), std::runtime_error);
    EXPECT_EQ(log->entries(), (std::vector<std::string>{"service.status", "service.unregisterAsync",
                                                        "cancelled wait of 2"}));
}

TEST_F(HelperInstallerTest, TheServicePathFirstRemovesALegacyHelperThroughItsScript) {
    placeLegacyHelper();
    HelperInstaller installer(environment());
    EXPECT_EQ(installer.install(), InstallationOutcome::installed);
    EXPECT_EQ(log->entries(),
              (std::vector<std::string>{"osascript uninstall-helper.sh", "service.status",
                                        "service.register", "service.status"}));

    log->clear();
    service->currentStatus = Status::notRegistered;
    answers = {{1, ""}};
    try {
        installer.install();
        ADD_FAILURE() << "no error";
    } catch (const VentrellaError& error) {
        EXPECT_EQ(error, VentrellaError::commandFailed(
                             "The previous Helper could not be removed safely."));
    }
    EXPECT_EQ(log->entries().size(), 1u) << "registered after a failed removal";
}

TEST_F(HelperInstallerTest, RemovingTheServiceUnregistersWhatIsRegistered) {
    const auto notUnregistered =
        VentrellaError::commandFailed("The Helper could not be unregistered.");
    struct Case {
        std::string name;
        Status initial;
        Status afterUnregister;
        std::optional<sm::ServiceError> failure;
        std::optional<std::string> message;
        std::vector<std::string> calls;
    };
    const std::vector<std::string> unregistration = {"service.status", "service.unregister",
                                                     "service.status"};
    const std::vector<Case> cases = {
        {"enabled", Status::enabled, Status::notRegistered, {}, removedMessage, unregistration},
        {"waiting for approval",
         Status::requiresApproval,
         Status::notFound,
         {},
         removedMessage,
         unregistration},
        {"not registered",
         Status::notRegistered,
         Status::enabled,
         {},
         removedMessage,
         {"service.status", "service.status"}},
        {"not found",
         Status::notFound,
         Status::enabled,
         {},
         removedMessage,
         {"service.status", "service.status"}},
        {"still enabled", Status::enabled, Status::enabled, {}, {}, unregistration},
        {"refused",
         Status::enabled,
         Status::notRegistered,
         posix(EPERM),
         {},
         {"service.status", "service.unregister"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log->clear();
        service->currentStatus = c.initial;
        service->statusAfterUnregister = c.afterUnregister;
        if (c.failure) {
            service->failNextUnregister(*c.failure);
        }
        HelperInstaller installer(environment());
        try {
            EXPECT_EQ(installer.uninstall(), c.message);
        } catch (const VentrellaError& error) {
            EXPECT_FALSE(c.message.has_value());
            EXPECT_EQ(error, notUnregistered);
        } catch (const sm::ServiceError& error) {
            EXPECT_EQ(error, c.failure);
        }
        EXPECT_EQ(log->entries(), c.calls);
    }
}

TEST_F(HelperInstallerTest, InstalledMeansRegisteredOnTheServicePathAndTheLegacyFileOtherwise) {
    HelperInstaller installer(environment());
    for (const auto& [status, installed] :
         std::vector<std::pair<Status, bool>>{{Status::enabled, true},
                                              {Status::requiresApproval, true},
                                              {Status::notRegistered, false},
                                              {Status::notFound, false}}) {
        service->currentStatus = status;
        EXPECT_EQ(installer.isInstalled(), installed) << sm::toString(status);
        EXPECT_EQ(installer.serviceStatus(), status);
    }
    placeLegacyHelper();
    service->currentStatus = Status::notRegistered;
    EXPECT_FALSE(installer.isInstalled()) << "the service path looks at the registration only";

    // The flag without a team takes the script path, where the legacy file alone counts.
    useScripts();
    EXPECT_TRUE(installer.isInstalled());
    fs::remove(legacyHelper());
    service->currentStatus = Status::enabled;
    EXPECT_FALSE(installer.isInstalled());

    // One service, for the main bundle's property list, made on first use.
    ASSERT_EQ(servicesMade.size(), 1u);
    EXPECT_EQ(servicesMade[0],
              std::make_pair(bundle.path(), std::string("com.quillmoor.Ventrella.helper.plist")));
}

}  // namespace
}  // namespace ventrella::apphardware
