#include "Platform/VirtualMac/AdministratorScripts.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "Platform/Foundation/ScopedDescriptor.h"
#include "Platform/VirtualMac/ProcessSpawner.h"

namespace virtualmac {

namespace fs = std::filesystem;
using nlohmann::ordered_json;
using platform::foundation::ScopedDescriptor;

namespace {

constexpr const char* kShell = "/bin/zsh";
// How often a running script is asked whether it has ended.
constexpr std::chrono::milliseconds kExitPoll(50);

ordered_json failure(const std::string& error) {
    return {{"ok", false}, {"error", error}};
}

bool ownedByRoot(const struct stat& info) {
    return info.st_uid == 0 || info.st_uid == ::geteuid();
}

// The script's real path when root alone can change it and every folder above it (a sticky
// folder such as /tmp lets nobody move what root put there); otherwise why not.
struct CheckedScript {
    fs::path path;
    std::string problem;
};
CheckedScript checkedScript(const fs::path& script, const fs::path& root) {
    std::error_code error;
    const fs::path real = fs::canonical(script, error);
    if (error) {
        return {{}, "it cannot be found"};
    }
    const fs::path machineRoot = fs::canonical(root, error);
    const fs::path relative = real.lexically_relative(machineRoot);
    if (error || (machineRoot != "/" && (relative.empty() || *relative.begin() == ".."))) {
        return {{}, "it is not under the machine's root"};
    }
    struct stat info {};
    if (::lstat(real.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || !ownedByRoot(info) ||
        (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return {{}, "it is not a file that root alone can change"};
    }
    for (fs::path folder = real.parent_path();; folder = folder.parent_path()) {
        if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || !ownedByRoot(info) ||
            ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (info.st_mode & S_ISVTX) == 0)) {
            return {{}, "others than root can change " + folder.string()};
        }
        if (folder == folder.parent_path()) {
            break;
        }
    }
    return {real, {}};
}

// As under `do shell script`: a fixed search path, the machine's root, nothing else inherited.
std::vector<std::string> scriptEnvironment(const fs::path& root) {
    return {"PATH=/usr/bin:/bin:/usr/sbin:/sbin", "USER=root", "LOGNAME=root", "SHELL=/bin/zsh",
            "VIRTUAL_MAC_ROOT=" + root.string()};
}

}  // namespace

// One allowed script: its output read as it comes, its end noticed by polling, the reply sent
// once both are known.
class AdministratorScripts::Running : public std::enable_shared_from_this<Running> {
  public:
    Running(asio::io_context& context, int output, pid_t pid, Reply reply)
        : output_(context, output), poll_(context), pid_(pid), reply_(std::move(reply)) {}

    void start() {
        read();
        watch();
    }

  private:
    void read() {
        output_.async_read_some(
            asio::buffer(buffer_),
            [self = shared_from_this()](std::error_code error, std::size_t count) {
                if (!error) {
                    const std::size_t room = kMaximumOutputBytes - self->collected_.size();
                    self->collected_.append(self->buffer_.data(), std::min(room, count));
                    self->read();
                    return;
                }
                self->outputClosed_ = true;
                self->finishIfDone();
            });
    }

    void watch() {
        poll_.expires_after(kExitPoll);
        poll_.async_wait([self = shared_from_this()](std::error_code error) {
            if (error) {
                return;
            }
            int status = 0;
            const pid_t reaped = ::waitpid(self->pid_, &status, WNOHANG);
            if (reaped == 0 || (reaped < 0 && errno == EINTR)) {
                self->watch();
                return;
            }
            self->status_ = reaped < 0          ? 127
                            : WIFEXITED(status) ? WEXITSTATUS(status)
                                                : 128 + WTERMSIG(status);
            self->finishIfDone();
        });
    }

    void finishIfDone() {
        if (!outputClosed_ || !status_) {
            return;
        }
        reply_({{"ok", true}, {"answer", "allow"}, {"output", collected_}, {"status", *status_}});
    }

    asio::posix::stream_descriptor output_;
    asio::steady_timer poll_;
    pid_t pid_;
    Reply reply_;
    std::array<char, 16384> buffer_{};
    std::string collected_;
    bool outputClosed_ = false;
    std::optional<int> status_;
};

AdministratorScripts::AdministratorScripts(asio::io_context& context,
                                           const AdministratorAuthorization& authorization,
                                           fs::path root)
    : context_(context), authorization_(authorization), root_(std::move(root)) {}

bool AdministratorScripts::handle(const std::string& command, const nlohmann::json& request,
                                  const Reply& reply) {
    if (command != "osascript.run") {
        return false;
    }
    const auto found = request.find("path");
    if (found == request.end() || !found->is_string() ||
        !fs::path(found->get<std::string>()).is_absolute()) {
        reply(failure("\"path\" must be an absolute path"));
        return true;
    }
    const std::string path = found->get<std::string>();
    const auto script = checkedScript(path, root_);
    if (!script.problem.empty()) {
        reply(failure("will not run " + path + " as root: " + script.problem));
        return true;
    }
    const auto answer = authorization_.answer();
    if (answer != AdministratorAuthorization::Answer::allow) {
        reply({{"ok", true}, {"answer", toString(answer)}});
        return true;
    }
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        reply(failure(std::string("cannot make a pipe: ") + std::strerror(errno)));
        return true;
    }
    ScopedDescriptor readEnd(ends[0]);
    const ScopedDescriptor writeEnd(ends[1]);
    const pid_t pid =
        spawnProcess({kShell, script.path.string()}, scriptEnvironment(root_), writeEnd.get());
    if (pid < 0) {
        reply(failure(std::string("cannot run ") + kShell + ": " + std::strerror(errno)));
        return true;
    }
    std::make_shared<Running>(context_, readEnd.release(), pid, reply)->start();
    return true;
}

}  // namespace virtualmac
