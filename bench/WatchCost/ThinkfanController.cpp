#include "WatchCost/ThinkfanController.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace ventrella::bench {

namespace {

constexpr int belowThreshold = 45000;  // millidegrees Celsius
constexpr int aboveThreshold = 60000;
constexpr std::size_t outputKept = 4096;

std::string configText(const StandInHwmon& hwmon) {
    return "sensors:\n"
           "  - hwmon: " +
           hwmon.temperatureFile().string() +
           "\n"
           "fans:\n"
           "  - hwmon: " +
           hwmon.fanFile().string() +
           "\n"
           "levels:\n"
           "  - [0, 0, 55]\n"
           "  - [128, 50, 65]\n"
           "  - [255, 60, 32767]\n";
}

std::string packageVersion() {
    std::string version;
    if (FILE* query = ::popen("dpkg-query -W -f='${Version}' thinkfan 2>/dev/null", "r")) {
        char text[128];
        while (std::fgets(text, sizeof text, query) != nullptr)
            version += text;
        ::pclose(query);
    }
    return version;
}

// Between fork and exec only system calls: says what failed on the terminal and ends.
[[noreturn]] void failInChild(const char* what) {
    const char* reason = std::strerror(errno);
    const char* parts[] = {"cannot start thinkfan: ", what, ": ", reason, "\n"};
    for (const char* part : parts) {
        if (::write(2, part, std::strlen(part)) < 0)
            break;
    }
    ::_exit(126);
}

bool reap(pid_t pid, int& status) {
    while (true) {
        const pid_t got = ::waitpid(pid, &status, WNOHANG);
        if (got < 0 && errno == EINTR)
            continue;
        return got == pid;
    }
}

void endProcess(pid_t pid, int signal, std::chrono::milliseconds patience) {
    ::kill(pid, signal);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!reap(pid, status)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace

ThinkfanController::ThinkfanController(std::filesystem::path program)
    : program_(std::move(program)) {}

ThinkfanController::~ThinkfanController() {
    stop();
}

std::filesystem::path ThinkfanController::findProgram() {
    std::vector<std::filesystem::path> places{"/usr/sbin"};
    if (const char* path = std::getenv("PATH")) {
        std::istringstream entries(path);
        for (std::string entry; std::getline(entries, entry, ':');)
            places.emplace_back(entry);
    }
    for (const auto& place : places) {
        const auto candidate = place / "thinkfan";
        if (!place.empty() && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

std::string ThinkfanController::description() const {
    const auto version = packageVersion();
    return "thinkfan " + (version.empty() ? std::string("(version unknown)") : version) +
           " (Debian), -s " + std::to_string(interval_.count()) +
           ", simple levels 0/128/255, on stand-in hwmon files in a private mount namespace";
}

std::optional<std::string> ThinkfanController::unavailableReason() const {
    if (program_.empty())
        return "thinkfan is not installed (Debian package thinkfan)";
    if (::geteuid() != 0)
        return "thinkfan needs root here: it runs in a private mount namespace, where a kernel "
               "attribute stands in for its fan's pwm1_enable";
    return std::nullopt;
}

pid_t ThinkfanController::start(std::chrono::seconds interval) {
    interval_ = interval;
    std::string pattern = (std::filesystem::temp_directory_path() / "ventrella-thinkfan-XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot make a directory for thinkfan's files");
    directory_ = pattern;
    hwmon_ = std::make_unique<StandInHwmon>(directory_, belowThreshold);
    const auto config = directory_ / "thinkfan.yaml";
    std::ofstream(config) << configText(*hwmon_);

    // The holder's oom_score_adj stands in for pwm1_enable; 2 is automatic mode.
    holder_ = ::fork();
    if (holder_ < 0)
        throw std::runtime_error("cannot fork");
    if (holder_ == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        while (true)
            ::pause();
    }
    std::ofstream("/proc/" + std::to_string(holder_) + "/oom_score_adj") << "2\n";

    launch(config, interval);

    // Its first cycle writes a fan level and the second comes early; from the end of the
    // second on it keeps the interval.
    const auto deadline = Clock::now() + 2 * interval + std::chrono::seconds(10);
    while (!cycles_ || *cycles_ < 1) {
        if (Clock::now() >= deadline)
            throw std::runtime_error("thinkfan did not settle into its cycles; its output: " +
                                     lastOutput());
        followUntil(std::min(deadline, Clock::now() + std::chrono::milliseconds(50)));
        if (level_ && !cycles_)
            cycles_ = 0;
    }
    return daemon_;
}

void ThinkfanController::launch(const std::filesystem::path& config,
                                std::chrono::seconds interval) {
    int terminal = -1;
    if (::openpty(&output_, &terminal, nullptr, nullptr, nullptr) != 0)
        throw std::runtime_error("cannot open a pseudo-terminal");
    ::fcntl(output_, F_SETFD, FD_CLOEXEC);
    ::fcntl(output_, F_SETFL, O_NONBLOCK);

    // Everything the child needs, made before it is forked.
    const std::string attribute = "/proc/" + std::to_string(holder_) + "/oom_score_adj";
    const std::string enable = hwmon_->fanEnableFile().string();
    const std::string seconds = std::to_string(interval.count());
    std::vector<std::string> arguments{program_.string(), "-n", "-c",
                                       config.string(),   "-s", seconds};
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    daemon_ = ::fork();
    if (daemon_ < 0)
        throw std::runtime_error("cannot fork");
    if (daemon_ == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        ::setsid();
        const int nothing = ::open("/dev/null", O_RDONLY);
        if (nothing < 0 || ::dup2(nothing, 0) < 0 || ::dup2(terminal, 1) < 0 ||
            ::dup2(terminal, 2) < 0)
            ::_exit(126);
        if (::unshare(CLONE_NEWNS) != 0)
            failInChild("a private mount namespace");
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            failInChild("making its mounts private");
        if (::mount("tmpfs", "/run", "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755") != 0)
            failInChild("a /run of its own");
        if (::mount(attribute.c_str(), enable.c_str(), nullptr, MS_BIND, nullptr) != 0)
            failInChild("the attribute over pwm1_enable");
        ::execv(argv[0], argv.data());
        failInChild(argv[0]);
    }
    ::close(terminal);
}

WatchedController::Clock::time_point ThinkfanController::crossThreshold() {
    handleEvents();  // what happened before the crossing belongs before it
    levelAtCrossing_ = level_;
    hwmon_->setTemperature(aboveThreshold);
    crossedAt_ = Clock::now();
    return *crossedAt_;
}

void ThinkfanController::followUntil(Clock::time_point deadline) {
    while (true) {
        handleEvents();
        readOutput();
        int status = 0;
        if (daemon_ > 0 && reap(daemon_, status)) {
            daemon_ = -1;
            readOutput();
            throw std::runtime_error("thinkfan ended (wait status " + std::to_string(status) +
                                     "); its output: " + lastOutput());
        }
        const auto now = Clock::now();
        if (now >= deadline)
            return;
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        // The daemon's end shows on no descriptor; look again at least every 200 ms.
        pollfd watched[] = {{hwmon_->eventDescriptor(), POLLIN, 0}, {output_, POLLIN, 0}};
        ::poll(watched, output_ >= 0 ? 2 : 1,
               static_cast<int>(std::min<long long>(wait.count(), 200)));
    }
}

void ThinkfanController::handleEvents() {
    if (!hwmon_)
        return;
    for (const auto& event : hwmon_->takeEvents()) {
        if (event.kind == StandInHwmon::Event::Kind::sensorOpened) {
            if (cycles_)
                ++*cycles_;
            continue;
        }
        level_ = event.value;
        if (crossedAt_ && !reachedAt_ && event.value != levelAtCrossing_)
            reachedAt_ = event.at;
    }
}

void ThinkfanController::readOutput() {
    if (output_ < 0)
        return;
    char text[1024];
    while (true) {
        const ssize_t got = ::read(output_, text, sizeof text);
        if (got <= 0)
            return;  // nothing waiting, or the terminal has closed
        outputTail_.append(text, static_cast<std::size_t>(got));
        if (outputTail_.size() > outputKept)
            outputTail_.erase(0, outputTail_.size() - outputKept);
    }
}

std::string ThinkfanController::lastOutput() const {
    return outputTail_.empty() ? "(none)" : outputTail_;
}

void ThinkfanController::stop() {
    if (daemon_ > 0) {
        // It restores the fan's state and removes its pid file on SIGTERM.
        endProcess(daemon_, SIGTERM, std::chrono::seconds(5));
        daemon_ = -1;
    }
    if (holder_ > 0) {
        endProcess(holder_, SIGKILL, std::chrono::seconds(5));
        holder_ = -1;
    }
    if (output_ >= 0) {
        ::close(output_);
        output_ = -1;
    }
    hwmon_.reset();
    if (!directory_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
        directory_.clear();
    }
}

}  // namespace ventrella::bench
