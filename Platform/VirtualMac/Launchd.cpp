#include "Platform/VirtualMac/Launchd.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "Platform/ServiceManagement/ServiceErrorJSON.h"
#include "Platform/VirtualMac/BundledDaemon.h"
#include "Platform/VirtualMac/VirtualMachine.h"

namespace virtualmac {

namespace fs = std::filesystem;
using nlohmann::json;
using nlohmann::ordered_json;
using platform::servicemanagement::ServiceError;
namespace sm = platform::servicemanagement;

namespace {

// Owned by root and writable by root alone, as launchd requires of what it runs as root.
bool isProtected(const fs::path& path, bool executable) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == 0 &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0 && (!executable || (info.st_mode & S_IXUSR));
}

bool isInside(const fs::path& path, const fs::path& folder) {
    std::error_code error;
    const fs::path relative =
        fs::weakly_canonical(path, error).lexically_relative(fs::weakly_canonical(folder, error));
    return !error && !relative.empty() && *relative.begin() != "..";
}

std::string textField(const json& request, const char* name) {
    const auto found = request.find(name);
    if (found == request.end() || !found->is_string() ||
        found->get_ref<const std::string&>().empty()) {
        throw MachineRequestError(std::string("\"") + name + "\" must be a non-empty text");
    }
    return found->get<std::string>();
}

ServiceError serviceError(sm::ServiceManagementErrorCode code, const std::string& description,
                          std::shared_ptr<const ServiceError> underlying = nullptr) {
    return ServiceError(sm::kServiceManagementErrorDomain, code, description,
                        std::move(underlying));
}

ServiceError posixError(int code, const std::string& description) {
    return ServiceError(sm::kPOSIXErrorDomain, code, description);
}

ordered_json refusal(const ServiceError& error) {
    return ordered_json{{"ok", false}, {"error", error.what()}, {"failure", sm::toJSON(error)}};
}

}  // namespace

Launchd::Launchd(DaemonSupervisor& daemons, fs::path root)
    : daemons_(daemons), root_(std::move(root)) {}

bool Launchd::registeredLabel(const std::string& label) const {
    return std::any_of(registrations_.begin(), registrations_.end(),
                       [&](const auto& entry) { return entry.second.definition.label == label; });
}

bool Launchd::labelInUse(const std::string& label) const {
    const auto labels = daemons_.labels();
    return registeredLabel(label) || std::find(labels.begin(), labels.end(), label) != labels.end();
}

void Launchd::bootstrap(const fs::path& propertyList) {
    DaemonDefinition definition;
    try {
        definition = readDaemonPropertyList(propertyList, root_);
    } catch (const DaemonDefinitionError& error) {
        throw posixError(EINVAL, error.what());
    }
    if (!isProtected(propertyList, false) || !isProtected(definition.arguments.front(), true)) {
        throw posixError(EPERM, propertyList.string() +
                                    ": the property list or its program is not owned "
                                    "by root, or is writable by others");
    }
    if (labelInUse(definition.label)) {
        throw posixError(EEXIST, "the service " + definition.label + " is already loaded");
    }
    daemons_.start({definition});
}

void Launchd::bootout(const std::string& label) {
    if (registeredLabel(label)) {
        throw posixError(EPERM, "the service " + label +
                                    " is registered by its application; unregister it there");
    }
    if (!daemons_.unload(label)) {
        throw posixError(ESRCH, "no service " + label + " is loaded");
    }
}

std::optional<Launchd::LoadedDaemon> Launchd::loaded(const std::string& label) const {
    const auto definition = daemons_.definition(label);
    if (!definition) {
        return std::nullopt;
    }
    return LoadedDaemon{definition->arguments.front(), daemons_.processIdentifier(label),
                        registeredLabel(label)};
}

std::string Launchd::registrationKey(const fs::path& bundle, const std::string& plistName) const {
    // Resolving the bundle again here would let a link changed since the caller was checked
    // lead elsewhere.
    return (bundle / plistName).string();
}

DaemonDefinition Launchd::verifiedDefinition(const fs::path& bundle,
                                             const std::string& plistName) const {
    const fs::path file = bundledDaemonPropertyList(bundle, plistName);
    if (!isPropertyListName(plistName)) {
        throw serviceError(sm::invalidPlist, file.string() + ": is not a property list name");
    }
    std::error_code error;
    if (!fs::is_regular_file(file, error)) {
        throw serviceError(
            sm::jobPlistNotFound, "the bundle has no daemon property list " + plistName,
            std::make_shared<const ServiceError>(posixError(ENOENT, "No such file or directory")));
    }
    DaemonDefinition definition;
    try {
        definition = readBundledDaemonPropertyList(bundle, plistName);
    } catch (const DaemonDefinitionError& failure) {
        throw serviceError(sm::invalidPlist, failure.what());
    }
    if (!isProtected(file, false)) {
        throw serviceError(sm::invalidPlist,
                           file.string() + " is not owned by root, or is writable by others");
    }
    const fs::path& program = definition.arguments.front();
    if (!isInside(program, bundle) || !isProtected(program, true)) {
        throw serviceError(sm::toolNotValid, program.string() +
                                                 " is not a root-owned program inside the bundle "
                                                 "that only root can write");
    }
    return definition;
}

Launchd::ServiceStatus Launchd::status(const fs::path& bundle, const std::string& plistName) const {
    const auto found = registrations_.find(registrationKey(bundle, plistName));
    if (found != registrations_.end()) {
        return found->second.approved ? ServiceStatus::enabled : ServiceStatus::requiresApproval;
    }
    // A name reaching out of the folder would tell any caller what exists where it cannot
    // look.
    std::error_code error;
    return isPropertyListName(plistName) &&
                   fs::is_regular_file(bundledDaemonPropertyList(bundle, plistName), error)
               ? ServiceStatus::notRegistered
               : ServiceStatus::notFound;
}

void Launchd::registerService(const fs::path& bundle, const std::string& plistName) {
    if (!bundle.is_absolute()) {
        throw posixError(EINVAL, "the bundle path " + bundle.string() + " is not absolute");
    }
    const std::string key = registrationKey(bundle, plistName);
    if (registrations_.count(key) != 0) {
        throw serviceError(sm::alreadyRegistered,
                           "the service " + plistName + " is already registered");
    }
    const DaemonDefinition definition = verifiedDefinition(bundle, plistName);
    if (labelInUse(definition.label)) {
        throw posixError(EEXIST, "a service labelled " + definition.label + " is already loaded");
    }
    if (approvalRequired_) {
        registrations_[key] = Registration{definition, false};
        throw posixError(EPERM, "Operation not permitted");
    }
    try {
        daemons_.start({definition});
    } catch (const std::exception& failure) {
        throw serviceError(sm::internalFailure, failure.what());
    }
    registrations_[key] = Registration{definition, true};
}

void Launchd::unregisterService(const fs::path& bundle, const std::string& plistName) {
    const auto found = registrations_.find(registrationKey(bundle, plistName));
    if (found == registrations_.end()) {
        throw serviceError(sm::jobNotFound, "the service " + plistName + " is not registered");
    }
    if (found->second.approved) {
        daemons_.unload(found->second.definition.label);
    }
    registrations_.erase(found);
}

std::size_t Launchd::grantApproval() {
    std::size_t granted = 0;
    for (auto& [key, registration] : registrations_) {
        const auto labels = daemons_.labels();
        if (registration.approved || std::find(labels.begin(), labels.end(),
                                               registration.definition.label) != labels.end()) {
            continue;
        }
        daemons_.start({registration.definition});
        registration.approved = true;
        ++granted;
    }
    return granted;
}

std::optional<ordered_json> Launchd::handle(const std::string& command, const json& request) {
    try {
        if (command == "launchctl.bootstrap") {
            bootstrap(textField(request, "path"));
        } else if (command == "launchctl.bootout") {
            bootout(textField(request, "label"));
        } else if (command == "launchctl.print") {
            const std::string label = textField(request, "label");
            const auto state = loaded(label);
            if (!state) {
                throw posixError(ESRCH, "no service " + label + " is loaded");
            }
            return ordered_json{
                {"ok", true},
                {"label", label},
                {"program", state->program},
                {"pid", state->pid ? ordered_json(*state->pid) : ordered_json(nullptr)},
                {"registered", state->registered}};
        } else if (command == "service.status") {
            return ordered_json{{"ok", true},
                                {"status", sm::toString(status(textField(request, "bundle"),
                                                               textField(request, "plist")))}};
        } else if (command == "service.register") {
            registerService(textField(request, "bundle"), textField(request, "plist"));
        } else if (command == "service.unregister") {
            unregisterService(textField(request, "bundle"), textField(request, "plist"));
        } else if (command == "approval") {
            const std::string action = textField(request, "action");
            if (action == "grant") {
                return ordered_json{{"ok", true}, {"granted", grantApproval()}};
            }
            if (action != "require" && action != "off") {
                throw MachineRequestError("\"action\" must be require, grant or off");
            }
            requireApproval(action == "require");
        } else {
            return std::nullopt;
        }
        return ordered_json{{"ok", true}};
    } catch (const ServiceError& error) {
        return refusal(error);
    } catch (const MachineRequestError&) {
        throw;
    } catch (const std::exception& error) {
        return refusal(serviceError(sm::internalFailure, error.what()));
    }
}

}  // namespace virtualmac
