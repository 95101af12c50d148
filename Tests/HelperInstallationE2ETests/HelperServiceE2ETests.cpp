#include <gtest/gtest.h>

#include <future>

#include "InstallationHarness.h"
#include "Platform/ServiceManagement/LaunchdDaemonService.h"

namespace ventrella::e2e {
namespace {

namespace fs = std::filesystem;
using platform::servicemanagement::LaunchdDaemonService;
using platform::servicemanagement::ServiceError;
using platform::servicemanagement::ServiceStatus;
namespace sm = platform::servicemanagement;

const std::string plistName = "com.quillmoor.Ventrella.helper.plist";

// Points this process's platform layer at the machine.
class MachineRoot {
  public:
    explicit MachineRoot(const fs::path& root) { ::setenv("VIRTUAL_MAC_ROOT", root.c_str(), 1); }
    ~MachineRoot() { ::unsetenv("VIRTUAL_MAC_ROOT"); }
};

std::optional<ServiceError> registrationError(sm::DaemonService& service) {
    try {
        service.registerService();
    } catch (const ServiceError& error) {
        return error;
    }
    return std::nullopt;
}

std::optional<ServiceError> unregisterAsynchronously(sm::DaemonService& service) {
    std::promise<std::optional<ServiceError>> finished;
    service.unregister(
        [&](const std::optional<ServiceError>& error) { finished.set_value(error); });
    return finished.get_future().get();
}

TEST(HelperService, RegistrationWaitsForApprovalThenTheHelperRunsFromTheBundleAndAnswers) {
    SimulatedMac mac("apple-silicon", {"--bundle-only"});
    MachineRoot root(mac.root());
    LaunchdDaemonService service(mac.root() / "Applications/Ventrella.app", plistName);
    EXPECT_EQ(service.status(), ServiceStatus::notRegistered);

    ASSERT_EQ(mac.virtualMac({"approval", "require"}).exitCode, 0);
    const auto refused = registrationError(service);
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->domain(), sm::kPOSIXErrorDomain);
    EXPECT_EQ(refused->code(), EPERM);
    EXPECT_EQ(service.status(), ServiceStatus::requiresApproval);
    EXPECT_FALSE(loadedHelper(mac).has_value()) << "an unapproved daemon was started";

    ASSERT_EQ(mac.virtualMac({"approval", "grant"}).exitCode, 0);
    EXPECT_EQ(service.status(), ServiceStatus::enabled);
    ASSERT_TRUE(mac.waitForHelper()) << "the registered helper does not answer the application";
    EXPECT_EQ(
        loadedHelper(mac)->program,
        (mac.root() / "Applications/Ventrella.app/Contents/Library/LaunchServices" / helperLabel)
            .string());

    EXPECT_EQ(unregisterAsynchronously(service), std::nullopt);
    EXPECT_EQ(service.status(), ServiceStatus::notRegistered);
    EXPECT_FALSE(loadedHelper(mac).has_value());
    EXPECT_TRUE(eventually([&] { return !mac.helperProcess().has_value(); }));

    // Without the approval requirement a registration is enabled at once.
    ASSERT_EQ(mac.virtualMac({"approval", "off"}).exitCode, 0);
    EXPECT_EQ(registrationError(service), std::nullopt);
    EXPECT_EQ(service.status(), ServiceStatus::enabled);
    ASSERT_TRUE(mac.waitForHelper());
    EXPECT_NO_THROW(service.unregister());
    EXPECT_EQ(service.status(), ServiceStatus::notRegistered);
}

TEST(HelperService, RefusedRequestsCarryTheirDomainCodeAndCause) {
    SimulatedMac mac("no-fans", {"--bundle-only"});
    MachineRoot root(mac.root());
    const fs::path bundle = mac.root() / "Applications/Ventrella.app";
    LaunchdDaemonService service(bundle, plistName);

    EXPECT_EQ(registrationError(service), std::nullopt);
    const auto again = registrationError(service);
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(again->domain(), sm::kServiceManagementErrorDomain);
    EXPECT_EQ(again->code(), sm::alreadyRegistered);
    service.unregister();
    try {
        service.unregister();
        ADD_FAILURE() << "unregistering twice succeeded";
    } catch (const ServiceError& error) {
        EXPECT_EQ(error.code(), sm::jobNotFound);
    }
    EXPECT_EQ(unregisterAsynchronously(service)->code(), sm::jobNotFound);

    LaunchdDaemonService absent(bundle, "com.example.absent.plist");
    EXPECT_EQ(absent.status(), ServiceStatus::notFound);
    const auto missing = registrationError(absent);
    ASSERT_TRUE(missing.has_value());
    EXPECT_EQ(missing->code(), sm::jobPlistNotFound);
    ASSERT_NE(missing->underlying(), nullptr);
    EXPECT_EQ(missing->underlying()->domain(), sm::kPOSIXErrorDomain);
    EXPECT_EQ(missing->underlying()->code(), ENOENT);

    // launchd runs as root only what root alone can change.
    fs::permissions(bundle / "Contents/Library/LaunchServices" / helperLabel,
                    fs::perms::group_write, fs::perm_options::add);
    const auto writable = registrationError(service);
    ASSERT_TRUE(writable.has_value());
    EXPECT_EQ(writable->code(), sm::toolNotValid);
    EXPECT_EQ(service.status(), ServiceStatus::notRegistered);
}

TEST(HelperService, AScriptInstalledHelperHoldsTheLabelAgainstARegistration) {
    SimulatedMac mac("apple-silicon", {"--bundle-only", "--codesign", CODESIGN_TOOL});
    MachineRoot root(mac.root());
    const fs::path bundle = mac.root() / "Applications/Ventrella.app";
    ASSERT_EQ(runWithAdministratorPrivileges(mac, bundle / "Contents/Resources/install-helper.sh")
                  .exitCode,
              0);
    LaunchdDaemonService service(bundle, plistName);
    const auto taken = registrationError(service);
    ASSERT_TRUE(taken.has_value());
    EXPECT_EQ(taken->domain(), sm::kPOSIXErrorDomain);
    EXPECT_EQ(taken->code(), EEXIST);

    // Removed through its script, the label is free for the registration.
    const auto removal =
        runWithAdministratorPrivileges(mac, bundle / "Contents/Resources/uninstall-helper.sh");
    ASSERT_EQ(removal.exitCode, 0) << removal.output;
    EXPECT_EQ(registrationError(service), std::nullopt);
    ASSERT_TRUE(mac.waitForHelper());

    // The removal script leaves a registered helper alone, and the installation refuses to
    // load a second one under its label.
    EXPECT_EQ(runWithAdministratorPrivileges(mac, bundle / "Contents/Resources/uninstall-helper.sh")
                  .exitCode,
              0);
    EXPECT_EQ(service.status(), ServiceStatus::enabled);
    const auto clash =
        runWithAdministratorPrivileges(mac, bundle / "Contents/Resources/install-helper.sh");
    EXPECT_EQ(clash.exitCode, 1);
    EXPECT_TRUE(
        clash.output.starts_with("Helper installation failed: launchd did not load the "
                                 "Helper ("))
        << clash.output;
    EXPECT_FALSE(fs::exists(legacyHelper(mac)));
    EXPECT_FALSE(fs::exists(legacyPropertyList(mac)));
}

TEST(HelperService, WithoutAMachineTheServiceIsNotFoundAndRequestsFail) {
    std::string pattern = "/tmp/vm-none-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    MachineRoot root(pattern);
    LaunchdDaemonService service("/Applications/Ventrella.app", plistName);
    EXPECT_EQ(service.status(), ServiceStatus::notFound);
    const auto unavailable = registrationError(service);
    ASSERT_TRUE(unavailable.has_value());
    EXPECT_EQ(unavailable->domain(), sm::kServiceManagementErrorDomain);
    EXPECT_EQ(unavailable->code(), sm::serviceUnavailable);
    ASSERT_NE(unavailable->underlying(), nullptr);
    EXPECT_EQ(unavailable->underlying()->code(), ECONNREFUSED);
    fs::remove_all(pattern);
}

}  // namespace
}  // namespace ventrella::e2e
