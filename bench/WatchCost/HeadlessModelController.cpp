#include "WatchCost/HeadlessModelController.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "Platform/Foundation/PropertyListUserDefaults.h"
#include "Platform/VirtualMac/MachineControlClient.h"
#include "Ventrella/App/Model/AppModel.h"
#include "Ventrella/App/Model/ProductionAppModel.h"
#include "Ventrella/Core/GuardSettingsJSON.h"

namespace ventrella::bench {

namespace {

namespace fs = std::filesystem;

constexpr double thresholdCelsius = 52;
constexpr double exitCelsius = 47;
constexpr std::int64_t boostPercent = 55;
constexpr std::size_t outputKept = 4096;

bool reap(pid_t pid, int& status) {
    while (true) {
        const pid_t got = ::waitpid(pid, &status, WNOHANG);
        if (got < 0 && errno == EINTR)
            continue;
        return got == pid;
    }
}

std::string numberText(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

}  // namespace

HeadlessModelController::HeadlessModelController(Programs programs, double speed)
    : programs_(std::move(programs)), speed_(speed) {}

HeadlessModelController::~HeadlessModelController() {
    stop();
}

std::string HeadlessModelController::description() const {
    return "Ventrella application model (headless, the program's own composition) at a " +
           std::to_string(interval_.count()) +
           "-second interval, against its helper on virtual-mac apple-silicon (thermal model x" +
           numberText(speed_) + "), Boost at 52 °C on one sample";
}

std::optional<std::string> HeadlessModelController::unavailableReason() const {
    for (const auto& program : {programs_.model, programs_.helper, programs_.virtualMac}) {
        if (::access(program.c_str(), X_OK) != 0)
            return program.string() + " is not built";
    }
    return std::nullopt;
}

int HeadlessModelController::run(const std::vector<std::string>& arguments) const {
    const pid_t child = ::fork();
    if (child < 0)
        throw std::runtime_error("cannot fork");
    if (child == 0) {
        ::setenv("VIRTUAL_MAC_ROOT", root_.c_str(), 1);
        const int nothing = ::open("/dev/null", O_WRONLY);
        ::dup2(nothing, STDOUT_FILENO);
        std::vector<char*> argv;
        for (const auto& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

void HeadlessModelController::storeSettings(const fs::path& home,
                                            std::chrono::seconds interval) const {
    core::GuardSettings settings;
    settings.appLanguage = core::AppLanguage::english;
    settings.pollIntervalSeconds = static_cast<double>(interval.count());
    settings.boostEnterCelsius = thresholdCelsius;
    settings.boostExitCelsius = exitCelsius;
    settings.boostEnterSamples = 1;
    settings.boostPercent = boostPercent;
    (void)settings.validated();
    const auto file =
        home / "Library/Preferences" / (std::string(model::applicationIdentifier) + ".plist");
    platform::foundation::PropertyListUserDefaults(file).setData(
        model::AppModel::settingsDefaultsKey, core::encodeGuardSettings(settings));
}

pid_t HeadlessModelController::start(std::chrono::seconds interval) {
    interval_ = interval;
    // Short, so that the machine's socket paths fit.
    std::string pattern = "/tmp/vw-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot make a root for the simulated Mac");
    root_ = pattern;
    const fs::path home = root_ / "Users/bench";
    fs::create_directories(home);
    storeSettings(home, interval);
    if (run({"/bin/bash", programs_.installScript.string(), root_.string(),
             programs_.helper.string(), programs_.model.string()}) != 0)
        throw std::runtime_error("cannot install the application in the simulated Mac");
    if (run({programs_.virtualMac.string(), "--root", root_.string(), "start", "--profile",
             "apple-silicon", "--speed", numberText(speed_)}) != 0)
        throw std::runtime_error("virtual-mac did not start");
    launchModel(home);

    // Control goes on once the helper answers; the first cycle after that starts the count.
    const auto deadline = Clock::now() + std::chrono::seconds(30) + 2 * interval;
    while (!cycles_) {
        if (Clock::now() >= deadline)
            throw std::runtime_error("the model did not switch control on; its output: " +
                                     outputTail_);
        followUntil(std::min(deadline, Clock::now() + std::chrono::milliseconds(50)));
    }
    return model_;
}

void HeadlessModelController::launchModel(const fs::path& home) {
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        throw std::runtime_error("cannot make a pipe");
    output_ = pipe[0];
    ::fcntl(output_, F_SETFL, O_NONBLOCK);
    // The bundle's copy, as the machine would start the application.
    const std::string program = (root_ / "Applications/Ventrella.app/Contents/MacOS/Ventrella");
    const std::string errors = (root_ / "model.err");
    const std::string homeText = home.string();
    const std::string config = (home / ".config").string();
    model_ = ::fork();
    if (model_ < 0)
        throw std::runtime_error("cannot fork");
    if (model_ == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        ::setenv("VIRTUAL_MAC_ROOT", root_.c_str(), 1);
        ::setenv("HOME", homeText.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        const int nothing = ::open("/dev/null", O_RDONLY);
        const int log = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (nothing < 0 || log < 0 || ::dup2(nothing, 0) < 0 || ::dup2(pipe[1], 1) < 0 ||
            ::dup2(log, 2) < 0)
            ::_exit(126);
        char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
        ::execv(argv[0], argv);
        ::_exit(127);
    }
    ::close(pipe[1]);
}

WatchedController::Clock::time_point HeadlessModelController::crossThreshold() {
    readOutput();  // what happened before the crossing belongs before it
    const fs::path run = root_ / "var/run/virtual-mac";
    virtualmac::sendControlRequest(run, {{"command", "load"}, {"cpu", 100}});
    const auto giveUp = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < giveUp) {
        const auto status = machineStatus();
        if (status["temperatures"]["cpu"].get<double>() >= thresholdCelsius)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    crossedAt_ = Clock::now();
    return *crossedAt_;
}

void HeadlessModelController::followUntil(Clock::time_point deadline) {
    while (true) {
        readOutput();
        int status = 0;
        if (model_ > 0 && reap(model_, status)) {
            model_ = -1;
            readOutput();
            throw std::runtime_error("the model ended (wait status " + std::to_string(status) +
                                     "); its output: " + outputTail_);
        }
        const auto now = Clock::now();
        if (now >= deadline)
            return;
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        // Its end shows on no descriptor; look again at least every 200 ms.
        pollfd watched{output_, POLLIN, 0};
        ::poll(&watched, 1, static_cast<int>(std::min<long long>(wait.count(), 200)));
    }
}

void HeadlessModelController::readOutput() {
    if (output_ < 0)
        return;
    char text[1024];
    while (true) {
        const ssize_t got = ::read(output_, text, sizeof text);
        if (got <= 0)
            return;  // nothing waiting, or the model has closed it
        pending_.append(text, static_cast<std::size_t>(got));
        outputTail_.append(text, static_cast<std::size_t>(got));
        if (outputTail_.size() > outputKept)
            outputTail_.erase(0, outputTail_.size() - outputKept);
        for (auto end = pending_.find('\n'); end != std::string::npos; end = pending_.find('\n')) {
            handleLine(pending_.substr(0, end));
            pending_.erase(0, end + 1);
        }
    }
}

void HeadlessModelController::handleLine(const std::string& line) {
    if (line == "enabled") {
        enabled_ = true;
    } else if (line == "cycle") {
        if (cycles_)
            ++*cycles_;
        else if (enabled_)
            cycles_ = 0;
    } else if (line == "mode boost" && crossedAt_ && !reachedAt_) {
        const auto seen = Clock::now();
        if (fansShowBoost())
            reachedAt_ = seen;
    }
}

nlohmann::ordered_json HeadlessModelController::machineStatus() const {
    return virtualmac::sendControlRequest(root_ / "var/run/virtual-mac",
                                          {{"command", "status"}})["status"];
}

bool HeadlessModelController::fansShowBoost() const {
    // Taking the fans from Apple Automatic never slows one below the speed it had, so a target
    // may lie above the level's share of the range.
    const nlohmann::ordered_json fans = machineStatus()["fans"];
    return !fans.empty() &&
           std::all_of(fans.begin(), fans.end(), [](const nlohmann::ordered_json& fan) {
               const double minimum = fan["minimum"], maximum = fan["maximum"];
               const double least = minimum + (maximum - minimum) * boostPercent / 100.0;
               return fan["mode"] == "manual" && fan["target"].get<double>() >= least - 1.0;
           });
}

void HeadlessModelController::stop() {
    if (model_ > 0) {
        // It hands the fans back and writes its log on SIGTERM.
        ::kill(model_, SIGTERM);
        int status = 0;
        const auto deadline = Clock::now() + std::chrono::seconds(8);
        while (!reap(model_, status)) {
            if (Clock::now() >= deadline) {
                ::kill(model_, SIGKILL);
                while (::waitpid(model_, &status, 0) < 0 && errno == EINTR) {
                }
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        model_ = -1;
    }
    if (output_ >= 0) {
        ::close(output_);
        output_ = -1;
    }
    if (!root_.empty()) {
        // The machine stops its helper with it.
        run({programs_.virtualMac.string(), "--root", root_.string(), "stop"});
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        std::error_code ignored;
        fs::remove_all(root_, ignored);
        root_.clear();
    }
}

}  // namespace ventrella::bench
