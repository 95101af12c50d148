#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace virtualmac {

// One daemon as its property list describes it: the label and the command line, the program
// already resolved under the machine's root.
struct DaemonDefinition {
    std::string label;
    std::vector<std::string> arguments;

    bool operator==(const DaemonDefinition&) const = default;
};

class DaemonDefinitionError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A daemon property list is small; anything larger is refused before it is parsed.
inline constexpr std::size_t maximumDaemonPropertyListBytes = 64 * 1024;

// Parses one daemon property list: `Label`, and `Program` or `ProgramArguments` (absolute macOS
// paths, resolved under root). Throws DaemonDefinitionError with `name` and the problem.
DaemonDefinition parseDaemonPropertyList(std::string_view bytes, const std::filesystem::path& root,
                                         const std::string& name);

// Reads and parses one daemon property list. Whoever can write it chooses what runs as root, so
// only a regular file (not a link) owned by root and writable by nobody else is read. Throws
// DaemonDefinitionError naming the file and the problem.
DaemonDefinition readDaemonPropertyList(const std::filesystem::path& file,
                                        const std::filesystem::path& root);

// Every "*.plist" in <root>/Library/LaunchDaemons, sorted by file name.
std::vector<DaemonDefinition> loadDaemonDefinitions(const std::filesystem::path& root);

// Runs the machine's daemons as launchd does (ProcessSpawner.h): each as root, in a minimal
// environment (PATH and VIRTUAL_MAC_ROOT, set to the machine's root), its output appended to
// <root>/var/log/<label>.log (never through a symbolic link; root's alone, mode 0644), started
// again after the throttle whenever it exits, and stopped (SIGTERM, then SIGKILL) on stop(). A
// program that is not owned by root or that others can write is not started; the refusal is
// logged and retried like a failed start.
class DaemonSupervisor {
  public:
    struct Options {
        std::filesystem::path root;
        double restartThrottleSeconds = 1.0;
        double stopGraceSeconds = 5.0;
    };

    explicit DaemonSupervisor(Options options);
    ~DaemonSupervisor();

    DaemonSupervisor(const DaemonSupervisor&) = delete;
    DaemonSupervisor& operator=(const DaemonSupervisor&) = delete;

    // Starts every daemon of the LaunchDaemons folder. Throws std::runtime_error when there are
    // daemons and it does not run as root, DaemonDefinitionError for an unreadable property list.
    void start();
    void start(std::vector<DaemonDefinition> definitions);

    // Stops every daemon and waits for them; idempotent.
    void stop();
    // Stops one daemon (SIGTERM, then SIGKILL after the grace) and forgets it, as launchd's
    // bootout does. False when no daemon has the label.
    bool unload(const std::string& label);

    std::vector<std::string> labels() const;
    // What a loaded daemon runs.
    std::optional<DaemonDefinition> definition(const std::string& label) const;
    // The running process of a daemon, absent while it is down.
    std::optional<pid_t> processIdentifier(const std::string& label) const;
    // How many times the daemon was started so far.
    std::size_t launchCount(const std::string& label) const;

  private:
    struct Daemon {
        DaemonDefinition definition;
        std::optional<pid_t> pid;
        std::size_t launches = 0;
        bool unloading = false;
        std::thread monitor;
    };

    void supervise(Daemon& daemon);
    pid_t spawn(const DaemonDefinition& definition) const;

    Options options_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    std::vector<std::unique_ptr<Daemon>> daemons_;
};

}  // namespace virtualmac
