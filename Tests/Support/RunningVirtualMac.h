#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "Platform/Foundation/PlatformRoot.h"
#include "Platform/VirtualMac/MachineControlClient.h"
#include "Support/ProcessState.h"
#include "Support/TemporaryPlatformRoot.h"

namespace ventrella::testsupport {

// A `virtual-mac` process serving one machine under a private platform root, which this
// process uses too (VIRTUAL_MAC_ROOT points there while the object lives), so that its IOKit
// and sysctl calls reach the machine. The machine is stopped, and killed if need be, at the end.
class RunningVirtualMac {
  public:
    RunningVirtualMac(std::filesystem::path program, const std::string& profile)
        : program_(std::move(program)),
          runDirectory_(platform::foundation::resolveMacPath("/var/run/virtual-mac")) {
        if (run({"start", "--profile", profile}) != 0) {
            throw std::runtime_error("virtual-mac did not start the " + profile + " machine");
        }
    }

    ~RunningVirtualMac() {
        pid_t pid = 0;
        std::ifstream(runDirectory_ / "virtual-mac.pid") >> pid;
        run({"stop"});
        if (pid <= 0) {
            return;
        }
        // `stop` returns before the process has gone; give it a moment, then end it.
        for (int attempt = 0; attempt < 100 && isProcessRunning(pid); ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (isProcessRunning(pid)) {
            ::kill(pid, SIGKILL);
        }
    }

    RunningVirtualMac(const RunningVirtualMac&) = delete;
    RunningVirtualMac& operator=(const RunningVirtualMac&) = delete;

    // One control request (as `virtual-mac` sends them); throws when the machine refuses it.
    nlohmann::ordered_json control(const nlohmann::json& request) const {
        auto reply = virtualmac::sendControlRequest(runDirectory_, request);
        if (!reply.value("ok", false)) {
            throw std::runtime_error("the machine refused " + request.dump() + ": " + reply.dump());
        }
        return reply;
    }

    // What `virtual-mac status --json` shows.
    nlohmann::ordered_json status() const { return control({{"command", "status"}})["status"]; }

  private:
    // The program's exit status; what it prints is dropped (the machine logs to its run
    // directory).
    int run(const std::vector<std::string>& arguments) const {
        std::vector<std::string> words = {program_.string()};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        const pid_t child = ::fork();
        if (child == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDOUT_FILENO);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    TemporaryPlatformRoot root_;
    std::filesystem::path program_;
    std::filesystem::path runDirectory_;
};

}  // namespace ventrella::testsupport
