#include "Ventrella/Hardware/HelperInstaller.h"

#include <cerrno>
#include <chrono>
#include <exception>
#include <future>
#include <optional>
#include <system_error>
#include <thread>

#include "Platform/Foundation/PlatformRoot.h"
#include "Platform/Foundation/UnicodeText.h"
#include "Platform/ServiceManagement/LaunchdDaemonService.h"
#include "Ventrella/Core/VentrellaError.h"

namespace ventrella::apphardware {

namespace fs = std::filesystem;
namespace sm = platform::servicemanagement;
using core::VentrellaError;

namespace {

constexpr std::string_view kUnsupportedState =
    "The Helper registration state is not supported by this macOS version.";
constexpr std::string_view kNotEnabled = "The Helper was registered but is not enabled.";
constexpr std::string_view kNotUnregistered = "The Helper could not be unregistered.";
constexpr std::string_view kRemoved =
    "Ventrella Helper was removed; fan control is now managed by Apple Automatic.";
constexpr std::string_view kNotInBundle = "Run the Ventrella.app bundle to manage the Helper.";
constexpr std::string_view kLegacyNotRemoved = "The previous Helper could not be removed safely.";
constexpr std::string_view kInstallationCancelled = "Helper installation was cancelled.";
constexpr std::string_view kRemovalCancelled = "Helper removal was cancelled.";

// The AppleScript around the script's path: 47 characters before it, 32 after.
constexpr std::string_view kSourcePrefix = R"(do shell script ("/bin/zsh " & quoted form of ")";
constexpr std::string_view kSourceSuffix = R"(") with administrator privileges)";
static_assert(kSourcePrefix.size() == 47 && kSourceSuffix.size() == 32);

// How deep the cause of a failed registration is searched for a refusal awaiting approval.
constexpr int kApprovalSearchDepth = 4;
// The refusal the framework gives while the user has not allowed the daemon.
constexpr long kLaunchDeniedByUser = 11;

VentrellaError commandFailed(std::string_view text) {
    return VentrellaError::commandFailed(std::string(text));
}

// A path as the contents of an AppleScript string: backslashes doubled first, then each
// double quote preceded by a backslash.
std::string appleScriptString(std::string_view path) {
    std::string escaped;
    escaped.reserve(path.size() + 8);
    for (const char character : path) {
        if (character == '\\') {
            escaped.append("\\\\");
        } else if (character == '"') {
            escaped.append("\\\"");
        } else {
            escaped.push_back(character);
        }
    }
    return escaped;
}

// The length of the white space or line break (Unicode's) that `text` starts with, or 0.
std::size_t leadingSpace(std::string_view text) {
    static constexpr std::string_view kMultibyte[] = {
        "\xC2\x85",     "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81",
        "\xE2\x80\x82", "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86",
        "\xE2\x80\x87", "\xE2\x80\x88", "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8",
        "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80"};
    if (!text.empty() && (text[0] == ' ' || (text[0] >= '\t' && text[0] <= '\r'))) {
        return 1;
    }
    for (const auto space : kMultibyte) {
        if (text.starts_with(space)) {
            return space.size();
        }
    }
    return 0;
}

std::size_t trailingSpace(std::string_view text) {
    for (std::size_t length = 1; length <= 3 && length <= text.size(); ++length) {
        const std::string_view tail = text.substr(text.size() - length);
        if (leadingSpace(tail) == length) {
            return length;
        }
    }
    return 0;
}

// Valid UTF-8 text without white space or line breaks at either end.
std::string trimmed(std::string_view text) {
    while (const std::size_t length = leadingSpace(text)) {
        text.remove_prefix(length);
    }
    while (const std::size_t length = trailingSpace(text)) {
        text.remove_suffix(length);
    }
    return std::string(text);
}

}  // namespace

HelperInstaller::HelperInstaller() : HelperInstaller(Environment()) {}

HelperInstaller::HelperInstaller(Environment environment) : environment_(std::move(environment)) {}

std::shared_ptr<sm::DaemonService> HelperInstaller::launchdService(const fs::path& bundle,
                                                                   std::string_view name) {
    return std::make_shared<sm::LaunchdDaemonService>(bundle, std::string(name));
}

void HelperInstaller::sleep(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

bool HelperInstaller::usesModernService() {
    if (environment_.mainBundle().infoDictionary().boolean(modernServiceKey) != true) {
        return false;
    }
    namespace security = platform::security;
    const auto& signing = environment_.codeSigning;
    security::Code self;
    security::StaticCode staticCode;
    security::Value information;
    if (signing.copySelf(security::defaultFlags, self) != security::statusSuccess ||
        signing.copyStaticCode(self, security::defaultFlags, staticCode) !=
            security::statusSuccess ||
        signing.copySigningInformation(staticCode, security::signingInformationFlag, information) !=
            security::statusSuccess) {
        return false;
    }
    const auto* dictionary = information.dictionary();
    if (dictionary == nullptr) {
        return false;
    }
    const auto team = dictionary->find(security::infoTeamIdentifier);
    if (team == dictionary->end()) {
        return false;
    }
    const std::string* identifier = team->second.string();
    return identifier != nullptr && !identifier->empty();
}

bool HelperInstaller::isInstalled() {
    if (usesModernService()) {
        const auto status = service().status();
        return status == sm::ServiceStatus::enabled ||
               status == sm::ServiceStatus::requiresApproval;
    }
    std::error_code error;
    return fs::exists(legacyHelper(), error);
}

sm::ServiceStatus HelperInstaller::serviceStatus() {
    return service().status();
}

InstallationOutcome HelperInstaller::install() {
    if (usesModernService()) {
        return installAsService();
    }
    run(installScriptName, std::string(kInstallationCancelled));
    return InstallationOutcome::installed;
}

std::string HelperInstaller::uninstall() {
    if (usesModernService()) {
        return uninstallService();
    }
    return run(uninstallScriptName, std::string(kRemovalCancelled));
}

sm::DaemonService& HelperInstaller::service() {
    std::call_once(serviceMade_, [this] {
        service_ = environment_.makeService(environment_.mainBundle().bundlePath(),
                                            daemonPropertyListName);
    });
    return *service_;
}

InstallationOutcome HelperInstaller::installAsService() {
    std::error_code error;
    if (fs::exists(legacyHelper(), error)) {
        run(uninstallScriptName, std::string(kLegacyNotRemoved));
    }
    auto& daemon = service();
    switch (daemon.status()) {
        case sm::ServiceStatus::notRegistered:
        case sm::ServiceStatus::notFound:
            return registerService();
        case sm::ServiceStatus::enabled: {
            auto finished = std::make_shared<std::promise<std::optional<sm::ServiceError>>>();
            auto outcome = finished->get_future();
            daemon.unregister([finished](const std::optional<sm::ServiceError>& failure) {
                try {
                    finished->set_value(failure);
                } catch (const std::future_error&) {
                    // A second completion has nobody waiting for it.
                }
            });
            if (const auto failure = outcome.get()) {
                throw *failure;
            }
            environment_.wait(reregistrationDelaySeconds);
            return registerService();
        }
        case sm::ServiceStatus::requiresApproval:
            return InstallationOutcome::requiresApproval;
    }
    throw commandFailed(kUnsupportedState);
}

InstallationOutcome HelperInstaller::registerService() {
    auto& daemon = service();
    std::exception_ptr failure;
    std::optional<sm::ServiceError> serviceFailure;
    try {
        daemon.registerService();
    } catch (const sm::ServiceError& error) {
        serviceFailure = error;
        failure = std::current_exception();
    } catch (...) {
        failure = std::current_exception();
    }
    const auto status = daemon.status();
    if (failure) {
        if (status == sm::ServiceStatus::requiresApproval ||
            (serviceFailure &&
             registrationFailureRequiresApproval(*serviceFailure, kApprovalSearchDepth))) {
            return InstallationOutcome::requiresApproval;
        }
        std::rethrow_exception(failure);
    }
    switch (status) {
        case sm::ServiceStatus::enabled:
            return InstallationOutcome::installed;
        case sm::ServiceStatus::requiresApproval:
            return InstallationOutcome::requiresApproval;
        case sm::ServiceStatus::notRegistered:
        case sm::ServiceStatus::notFound:
            throw commandFailed(kNotEnabled);
    }
    throw commandFailed(kUnsupportedState);
}

bool HelperInstaller::registrationFailureRequiresApproval(const sm::ServiceError& error,
                                                          int remainingDepth) {
    if (remainingDepth < 1) {
        return false;
    }
    if ((error.domain() == sm::kServiceManagementErrorDomain ||
         error.domain() == sm::kPOSIXErrorDomain) &&
        error.code() == EPERM) {
        return true;
    }
    if (error.domain() == sm::kServiceManagementFrameworkErrorDomain &&
        error.code() == kLaunchDeniedByUser) {
        return true;
    }
    if (const auto* underlying = error.underlying()) {
        return registrationFailureRequiresApproval(*underlying, remainingDepth - 1);
    }
    return false;
}

std::string HelperInstaller::uninstallService() {
    auto& daemon = service();
    const auto status = daemon.status();
    if (status != sm::ServiceStatus::notRegistered && status != sm::ServiceStatus::notFound) {
        daemon.unregister();
    }
    const auto after = daemon.status();
    if (after == sm::ServiceStatus::notRegistered || after == sm::ServiceStatus::notFound) {
        return std::string(kRemoved);
    }
    throw commandFailed(kNotUnregistered);
}

fs::path HelperInstaller::legacyHelper() const {
    return platform::foundation::resolveMacPath(legacyHelperPath);
}

std::string HelperInstaller::run(std::string_view scriptName, const std::string& fallbackError) {
    const auto bundle = environment_.mainBundle();
    if (bundle.bundlePath().extension() != ".app") {
        throw commandFailed(kNotInBundle);
    }
    const auto script = bundle.pathForResource(scriptName, scriptExtension);
    if (!script) {
        throw commandFailed(kNotInBundle);
    }
    std::string source(kSourcePrefix);
    source.append(appleScriptString(script->string()));
    source.append(kSourceSuffix);

    const auto ended = environment_.runProcess(platform::foundation::resolveMacPath(osascriptPath),
                                               {"-e", source});
    const std::string output =
        platform::foundation::isValidUTF8(ended.output) ? ended.output : std::string();
    if (ended.terminationStatus != 0) {
        throw VentrellaError::commandFailed(output.empty() ? fallbackError : output);
    }
    return trimmed(output);
}

}  // namespace ventrella::apphardware
