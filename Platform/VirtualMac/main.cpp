// virtual-mac: runs a simulated Mac as a process and controls it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "Platform/Foundation/PlatformRoot.h"
#include "Platform/Foundation/WholeFile.h"
#include "Platform/VirtualMac/AdministratorAuthorization.h"
#include "Platform/VirtualMac/AdministratorScripts.h"
#include "Platform/VirtualMac/CommandLine.h"
#include "Platform/VirtualMac/DaemonSupervisor.h"
#include "Platform/VirtualMac/Launchd.h"
#include "Platform/VirtualMac/MachineAccess.h"
#include "Platform/VirtualMac/MachineControlClient.h"
#include "Platform/VirtualMac/MachineFiles.h"
#include "Platform/VirtualMac/MachineServer.h"
#include "Platform/VirtualMac/StandInTools.h"

namespace {

using virtualmac::CommandLine;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNotPermitted = 3;

std::string fixed(const nlohmann::ordered_json& value, int precision = 1) {
    if (!value.is_number()) {
        return "—";
    }
    char text[64];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value.get<double>(),
                                            std::chars_format::fixed, precision);
    return error == std::errc() ? std::string(text, end) : "—";
}

void printStatus(const nlohmann::ordered_json& status) {
    std::cout << "Profile " << status.value("profile", "") << " ("
              << status.value("hardwareModel", "") << ", " << status.value("brandString", "")
              << "), " << fixed(status["simulatedSeconds"]) << " s simulated at speed "
              << fixed(status["speed"], 2) << "\n";
    std::cout << "Load: CPU " << fixed(status["load"]["cpu"], 0) << " %, GPU "
              << fixed(status["load"]["gpu"], 0) << " %\n";
    std::cout << "Temperature: CPU " << fixed(status["temperatures"]["cpu"]) << " °C, GPU "
              << fixed(status["temperatures"]["gpu"]) << " °C\n";
    if (status["fans"].empty()) {
        std::cout << "Fans: none\n";
    }
    for (const auto& fan : status["fans"]) {
        std::cout << "Fan " << fan.value("id", 0) << ": " << fan.value("mode", "") << ", "
                  << fixed(fan["actual"], 0) << " RPM (target " << fixed(fan["target"], 0)
                  << ", range " << fixed(fan["minimum"], 0) << "–" << fixed(fan["maximum"], 0)
                  << ")\n";
    }
    if (status["faults"].empty()) {
        std::cout << "Faults: none\n";
    }
    for (const auto& fault : status["faults"]) {
        std::cout << "Fault: " << fault.get<std::string>() << "\n";
    }
    if (const auto& workspace = status["workspace"]; workspace.is_object()) {
        std::cout << "Power: " << workspace.value("power", "") << "; thermal state "
                  << workspace.value("thermalState", "") << "; reduce motion "
                  << (workspace.value("reduceMotion", false) ? "on" : "off") << "; "
                  << workspace.value("observers", 0) << " workspace observer(s)\n";
    }
}

void printSleep(const nlohmann::ordered_json& reply) {
    std::cout << "virtual-mac: asleep after " << fixed(reply["waitedSeconds"], 2) << " s; "
              << reply.value("acknowledged", 0) << " of " << reply.value("observers", 0)
              << " observer(s) acknowledged";
    if (reply.value("disconnected", 0) > 0) {
        std::cout << ", " << reply.value("disconnected", 0) << " went away";
    }
    if (reply.value("unacknowledged", 0) > 0) {
        std::cout << ", " << reply.value("unacknowledged", 0) << " did not answer in time";
    }
    std::cout << "\n";
}

int control(const CommandLine& line, const std::filesystem::path& runDirectory) {
    nlohmann::ordered_json reply;
    try {
        reply = virtualmac::sendControlRequest(runDirectory, line.request, line.timeoutSeconds);
    } catch (const virtualmac::MachineAccessRefused& error) {
        std::cerr << "virtual-mac: " << error.what() << "\n";
        return kExitNotPermitted;
    } catch (const virtualmac::MachineNotRunning& error) {
        std::cerr << "virtual-mac: " << error.what() << "\n";
        return kExitFailure;
    }
    if (virtualmac::isNotPermitted(reply)) {
        std::cerr << "virtual-mac: " << reply.value("error", "not permitted") << "\n";
        return kExitNotPermitted;
    }
    if (!reply.value("ok", false)) {
        std::cerr << "virtual-mac: the machine refused: " << reply.value("error", "no reason given")
                  << "\n";
        return kExitFailure;
    }
    if (line.command == "sleep") {
        printSleep(reply);
    }
    if (line.command == "status") {
        if (line.json) {
            std::cout << reply["status"].dump(2) << "\n";
        } else {
            printStatus(reply["status"]);
        }
    }
    return 0;
}

void closeInheritedDescriptors(int keep) {
    for (int fd = 3; fd < 1024; ++fd) {
        if (fd != keep) {
            ::close(fd);
        }
    }
}

// Serves until stopped. `ready` (when not negative) learns that the sockets are up.
int serve(const CommandLine& line, const std::filesystem::path& runDirectory, int ready) {
    const auto pidFile = runDirectory / "virtual-mac.pid";
    try {
        virtualmac::VirtualMachine machine(virtualmac::MachineProfile::named(line.profile));
        machine.publishIdentity();
        virtualmac::MachineServer server(machine, {runDirectory, line.speed, 0.1});
        // The machine's daemons (its LaunchDaemons folder), run as launchd would.
        virtualmac::DaemonSupervisor daemons({platform::foundation::platformRoot()});
        virtualmac::Launchd launchd(daemons, platform::foundation::platformRoot());
        virtualmac::AdministratorAuthorization authorization;
        virtualmac::AdministratorScripts scripts(server.context(), authorization,
                                                 platform::foundation::platformRoot());
        server.control().addExtension(
            [&](const std::string& command, const nlohmann::json& request) {
                return launchd.handle(command, request);
            });
        server.control().addExtension(
            [&](const std::string& command, const nlohmann::json& request) {
                return authorization.handle(command, request);
            });
        server.addDeferredExtension([&](const std::string& command, const nlohmann::json& request,
                                        const virtualmac::MachineServer::Reply& reply) {
            return scripts.handle(command, request, reply);
        });
        virtualmac::installStandInTools(platform::foundation::platformRoot(),
                                        std::filesystem::read_symlink("/proc/self/exe"));
        daemons.start();
        platform::foundation::writeFileAtomically(pidFile, std::to_string(::getpid()) + "\n", 0644);
        if (ready >= 0) {
            const char ok = 'R';
            (void)!::write(ready, &ok, 1);
            ::close(ready);
        } else {
            std::cout << "virtual-mac: " << line.profile << " machine running under "
                      << platform::foundation::platformRoot().string() << "\n"
                      << std::flush;
        }
        server.run();
    } catch (const std::exception& error) {
        const std::string message = std::string("E") + error.what();
        if (ready >= 0) {
            (void)!::write(ready, message.data(), message.size());
        } else {
            std::cerr << "virtual-mac: cannot start: " << error.what() << "\n";
        }
        return kExitFailure;
    }
    std::error_code ignored;
    std::filesystem::remove(pidFile, ignored);
    return 0;
}

int start(const CommandLine& line, const std::filesystem::path& runDirectory) {
    try {
        virtualmac::sendControlRequest(runDirectory, {{"command", "status"}}, 2.0);
        std::cerr << "virtual-mac: a machine is already running under "
                  << platform::foundation::platformRoot().string() << "\n";
        return kExitFailure;
    } catch (const virtualmac::MachineNotRunning&) {
    }
    // The machine's files get their modes whatever the caller's umask, and its daemons and
    // scripts start with launchd's default.
    ::umask(022);
    try {
        virtualmac::layOutFolder(runDirectory);
    } catch (const std::filesystem::filesystem_error& error) {
        std::cerr << "virtual-mac: cannot create " << runDirectory.string() << ": "
                  << error.code().message() << "\n";
        return kExitFailure;
    }
    if (line.foreground) {
        return serve(line, runDirectory, -1);
    }

    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
        std::perror("virtual-mac: pipe");
        return kExitFailure;
    }
    std::cout << std::flush;
    const pid_t child = ::fork();
    if (child < 0) {
        std::perror("virtual-mac: fork");
        return kExitFailure;
    }
    if (child == 0) {
        // The machine outlives the command: its own session, no terminal, output to a log.
        ::close(pipe[0]);
        ::setsid();
        closeInheritedDescriptors(pipe[1]);
        const int null = ::open("/dev/null", O_RDONLY);
        const int log = virtualmac::openLogForAppending(runDirectory / "virtual-mac.log");
        ::dup2(null, STDIN_FILENO);
        ::dup2(log >= 0 ? log : null, STDOUT_FILENO);
        ::dup2(log >= 0 ? log : null, STDERR_FILENO);
        ::close(null);
        if (log >= 0) {
            ::close(log);
        }
        if (::chdir("/") != 0) {
            // The root is absolute already; staying where we are is harmless.
        }
        std::_Exit(serve(line, runDirectory, pipe[1]));
    }
    ::close(pipe[1]);
    std::string answer;
    char buffer[512];
    for (;;) {
        const ssize_t count = ::read(pipe[0], buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        answer.append(buffer, static_cast<std::size_t>(count));
        if (answer == "R") {
            break;
        }
    }
    ::close(pipe[0]);
    if (answer == "R") {
        std::cout << "virtual-mac: " << line.profile << " machine running under "
                  << platform::foundation::platformRoot().string() << " (pid " << child << ")\n";
        return 0;
    }
    std::cerr << "virtual-mac: cannot start: "
              << (answer.size() > 1 ? answer.substr(1) : std::string("the machine exited")) << "\n";
    return kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
    // Installed under the machine's root as the macOS programs it stands in for.
    if (const auto tool = virtualmac::standInToolNamed(argc > 0 ? argv[0] : "")) {
        return tool->run(std::vector<std::string>(argv + 1, argv + argc));
    }
    CommandLine line;
    try {
        line = CommandLine::parse(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const virtualmac::UsageError& error) {
        std::cerr << "virtual-mac: " << error.what() << "\nRun \"virtual-mac help\" for usage.\n";
        return kExitUsage;
    }
    if (line.action == CommandLine::Action::help) {
        std::cout << CommandLine::usage();
        return 0;
    }
    // Every later path resolves under an absolute root, whatever the working directory.
    std::error_code error;
    const auto root = std::filesystem::absolute(
        line.root ? *line.root : platform::foundation::platformRoot(), error);
    if (error) {
        std::cerr << "virtual-mac: cannot resolve the root directory: " << error.message() << "\n";
        return kExitUsage;
    }
    ::setenv("VIRTUAL_MAC_ROOT", root.c_str(), 1);
    const auto runDirectory = platform::foundation::resolveMacPath("/var/run/virtual-mac");
    if (line.action == CommandLine::Action::start) {
        return start(line, runDirectory);
    }
    return control(line, runDirectory);
}
