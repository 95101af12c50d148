#include "Platform/VirtualMac/DaemonSupervisor.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <iostream>
#include <system_error>

#include "Platform/Foundation/ScopedDescriptor.h"
#include "Platform/VirtualMac/MachineFiles.h"
#include "Platform/VirtualMac/ProcessSpawner.h"

namespace virtualmac {

namespace fs = std::filesystem;
using platform::foundation::ScopedDescriptor;

namespace {

struct PlistFree {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistHandle = std::unique_ptr<void, PlistFree>;

std::optional<std::string> stringValue(plist_t node) {
    if (node == nullptr || plist_get_node_type(node) != PLIST_STRING) {
        return std::nullopt;
    }
    std::uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    return std::string(text, length);
}

// As on the Mac, ".." at the top of an absolute path stays at the top: the result lies under the
// root whatever the path says.
fs::path resolveUnder(const fs::path& root, const std::string& macPath) {
    return root / fs::path(macPath).lexically_normal().relative_path();
}

// What runs as root must be root's alone: owned by root and writable by nobody else.
std::optional<std::string> ownershipProblem(const struct stat& info) {
    if (info.st_uid != 0) {
        return "is not owned by root";
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return "is writable by others than root";
    }
    return std::nullopt;
}

// launchd starts a daemon with little more than a search path.
std::vector<std::string> daemonEnvironment(const fs::path& root) {
    return {"PATH=/usr/bin:/bin:/usr/sbin:/sbin", "VIRTUAL_MAC_ROOT=" + root.string()};
}

void appendLine(int fd, const std::string& line) {
    (void)!::write(fd, line.data(), line.size());
}

}  // namespace

DaemonDefinition parseDaemonPropertyList(std::string_view bytes, const fs::path& root,
                                         const std::string& name) {
    auto fail = [&](const std::string& problem) -> DaemonDefinitionError {
        return DaemonDefinitionError(name + ": " + problem);
    };
    if (bytes.size() > maximumDaemonPropertyListBytes) {
        throw fail("is too large");
    }
    plist_t parsed = nullptr;
    plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &parsed);
    PlistHandle owner(parsed);
    if (parsed == nullptr || plist_get_node_type(parsed) != PLIST_DICT) {
        throw fail("is not a property list dictionary");
    }
    DaemonDefinition definition;
    auto label = stringValue(plist_dict_get_item(parsed, "Label"));
    if (!label || label->empty()) {
        throw fail("has no Label");
    }
    definition.label = *label;
    if (plist_t arguments = plist_dict_get_item(parsed, "ProgramArguments");
        arguments != nullptr && plist_get_node_type(arguments) == PLIST_ARRAY) {
        for (std::uint32_t i = 0; i < plist_array_get_size(arguments); ++i) {
            auto argument = stringValue(plist_array_get_item(arguments, i));
            if (!argument) {
                throw fail("has a ProgramArguments entry that is not a string");
            }
            definition.arguments.push_back(*argument);
        }
    }
    auto program = stringValue(plist_dict_get_item(parsed, "Program"));
    if (program) {
        // launchd runs Program and passes ProgramArguments (or just the program) as argv.
        if (definition.arguments.empty()) {
            definition.arguments.push_back(*program);
        }
        definition.arguments[0] = *program;
    }
    if (definition.arguments.empty()) {
        throw fail("has neither Program nor ProgramArguments");
    }
    if (!fs::path(definition.arguments[0]).is_absolute()) {
        throw fail("names a program that is not an absolute path");
    }
    definition.arguments[0] = resolveUnder(root, definition.arguments[0]).string();
    return definition;
}

DaemonDefinition readDaemonPropertyList(const fs::path& file, const fs::path& root) {
    auto fail = [&](const std::string& problem) -> DaemonDefinitionError {
        return DaemonDefinitionError(file.string() + ": " + problem);
    };
    // O_NOFOLLOW refuses a link; O_NONBLOCK keeps a FIFO from stalling the open.
    const ScopedDescriptor descriptor(
        ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (descriptor.get() < 0) {
        throw fail(errno == ELOOP ? "is a symbolic link" : "cannot be read");
    }
    struct stat info {};
    if (::fstat(descriptor.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        throw fail("is not a regular file");
    }
    if (const auto problem = ownershipProblem(info)) {
        throw fail(*problem);
    }
    if (static_cast<std::uint64_t>(info.st_size) > maximumDaemonPropertyListBytes) {
        throw fail("is too large");
    }
    std::string text(maximumDaemonPropertyListBytes + 1, '\0');
    std::size_t total = 0;
    while (total < text.size()) {
        const ssize_t count = ::read(descriptor.get(), text.data() + total, text.size() - total);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            throw fail("cannot be read");
        }
        if (count == 0) {
            break;
        }
        total += static_cast<std::size_t>(count);
    }
    // Grown past the limit since fstat: refused as well.
    text.resize(total);
    return parseDaemonPropertyList(text, root, file.string());
}

std::vector<DaemonDefinition> loadDaemonDefinitions(const fs::path& root) {
    const fs::path folder = root / "Library/LaunchDaemons";
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (entry.is_regular_file() && entry.path().extension() == ".plist") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    std::vector<DaemonDefinition> definitions;
    for (const auto& file : files) {
        definitions.push_back(readDaemonPropertyList(file, root));
    }
    return definitions;
}

DaemonSupervisor::DaemonSupervisor(Options options) : options_(std::move(options)) {}

DaemonSupervisor::~DaemonSupervisor() {
    stop();
}

void DaemonSupervisor::start() {
    start(loadDaemonDefinitions(options_.root));
}

void DaemonSupervisor::start(std::vector<DaemonDefinition> definitions) {
    if (!definitions.empty() && ::geteuid() != 0) {
        throw std::runtime_error("daemons run as root: start the simulated Mac as root");
    }
    std::lock_guard lock(mutex_);
    stopping_ = false;
    for (auto& definition : definitions) {
        auto daemon = std::make_unique<Daemon>();
        daemon->definition = std::move(definition);
        Daemon& ref = *daemon;
        daemons_.push_back(std::move(daemon));
        ref.monitor = std::thread([this, &ref] { supervise(ref); });
    }
}

pid_t DaemonSupervisor::spawn(const DaemonDefinition& definition) const {
    const fs::path logFolder = options_.root / "var/log";
    const fs::path logFile = logFolder / (definition.label + ".log");
    // Opened here and handed to the daemon as its output: root's alone, whatever the umask.
    int opened = -1;
    try {
        layOutFolder(logFolder);
        opened = openLogForAppending(logFile);
    } catch (const fs::filesystem_error& error) {
        errno = error.code().value();
    }
    const ScopedDescriptor log(opened);
    if (log.get() < 0) {
        std::cerr << "virtual-mac: cannot open " << logFile.string() << ": " << std::strerror(errno)
                  << "\n";
        return -1;
    }
    const std::string& program = definition.arguments[0];
    struct stat info {};
    if (::stat(program.c_str(), &info) != 0) {
        appendLine(log.get(),
                   "virtual-mac: cannot start " + program + ": " + std::strerror(errno) + "\n");
        return -1;
    }
    if (const auto problem = ownershipProblem(info)) {
        appendLine(log.get(), "virtual-mac: will not start " + program + ": it " + *problem + "\n");
        return -1;
    }

    const pid_t pid =
        spawnProcess(definition.arguments, daemonEnvironment(options_.root), log.get());
    if (pid < 0) {
        appendLine(log.get(),
                   "virtual-mac: cannot start " + program + ": " + std::strerror(errno) + "\n");
        return -1;
    }
    return pid;
}

void DaemonSupervisor::supervise(Daemon& daemon) {
    const auto throttle = std::chrono::duration<double>(options_.restartThrottleSeconds);
    std::unique_lock lock(mutex_);
    while (!stopping_ && !daemon.unloading) {
        const pid_t pid = spawn(daemon.definition);
        ++daemon.launches;
        if (pid > 0) {
            daemon.pid = pid;
            changed_.notify_all();
            lock.unlock();
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            lock.lock();
            daemon.pid.reset();
            changed_.notify_all();
        }
        changed_.wait_for(lock, throttle, [&] { return stopping_ || daemon.unloading; });
    }
}

void DaemonSupervisor::stop() {
    std::vector<std::unique_ptr<Daemon>> daemons;
    {
        std::unique_lock lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
        for (auto& daemon : daemons_) {
            if (daemon->pid)
                ::kill(*daemon->pid, SIGTERM);
        }
        const auto grace = std::chrono::duration<double>(options_.stopGraceSeconds);
        const bool allDown = changed_.wait_for(lock, grace, [&] {
            return std::none_of(daemons_.begin(), daemons_.end(),
                                [](const auto& daemon) { return daemon->pid.has_value(); });
        });
        if (!allDown) {
            for (auto& daemon : daemons_) {
                if (daemon->pid)
                    ::kill(*daemon->pid, SIGKILL);
            }
        }
        daemons = std::move(daemons_);
        daemons_.clear();
    }
    for (auto& daemon : daemons) {
        if (daemon->monitor.joinable())
            daemon->monitor.join();
    }
}

bool DaemonSupervisor::unload(const std::string& label) {
    std::unique_ptr<Daemon> removed;
    {
        std::unique_lock lock(mutex_);
        const auto found = std::find_if(daemons_.begin(), daemons_.end(), [&](const auto& daemon) {
            return daemon->definition.label == label;
        });
        if (found == daemons_.end()) {
            return false;
        }
        // Found again after every wait by its address: stop() may take it over meanwhile.
        const Daemon* const target = found->get();
        const auto current = [&] {
            return std::find_if(daemons_.begin(), daemons_.end(),
                                [&](const auto& daemon) { return daemon.get() == target; });
        };
        (*found)->unloading = true;
        changed_.notify_all();
        if ((*found)->pid) {
            ::kill(*(*found)->pid, SIGTERM);
        }
        const auto grace = std::chrono::duration<double>(options_.stopGraceSeconds);
        changed_.wait_for(lock, grace, [&] {
            const auto daemon = current();
            return daemon == daemons_.end() || !(*daemon)->pid.has_value();
        });
        const auto daemon = current();
        if (daemon == daemons_.end()) {
            return true;
        }
        if ((*daemon)->pid) {
            ::kill(*(*daemon)->pid, SIGKILL);
        }
        removed = std::move(*daemon);
        daemons_.erase(daemon);
    }
    if (removed->monitor.joinable()) {
        removed->monitor.join();
    }
    return true;
}

std::vector<std::string> DaemonSupervisor::labels() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> result;
    for (const auto& daemon : daemons_)
        result.push_back(daemon->definition.label);
    return result;
}

std::optional<DaemonDefinition> DaemonSupervisor::definition(const std::string& label) const {
    std::lock_guard lock(mutex_);
    for (const auto& daemon : daemons_) {
        if (daemon->definition.label == label)
            return daemon->definition;
    }
    return std::nullopt;
}

std::optional<pid_t> DaemonSupervisor::processIdentifier(const std::string& label) const {
    std::lock_guard lock(mutex_);
    for (const auto& daemon : daemons_) {
        if (daemon->definition.label == label)
            return daemon->pid;
    }
    return std::nullopt;
}

std::size_t DaemonSupervisor::launchCount(const std::string& label) const {
    std::lock_guard lock(mutex_);
    for (const auto& daemon : daemons_) {
        if (daemon->definition.label == label)
            return daemon->launches;
    }
    return 0;
}

}  // namespace virtualmac
