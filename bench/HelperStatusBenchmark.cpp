// Status round trip (client -> helper -> simulated SMC -> back) beside the raw SMC calls that
// request makes, then the helper's resident memory and CPU time over a minute of idling.
//
//   helper-status-bench [--idle-seconds N] [benchmark flags]
//
// The program lays out a private simulated Mac with the helper installed and itself as the
// bundled application (so the helper accepts it), starts virtual-mac, and runs the benchmarks
// from the bundle.

#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Platform/XPC/Connection.h"
#include "SMCKit/SMCConnection.h"
#include "VentrellaHardware/SMCFanRepository.h"
#include "VentrellaHelper/HelperPaths.h"
#include "VentrellaHelper/HelperService.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

void reportPercentiles(benchmark::State& state, std::vector<double>& micros) {
    if (micros.empty())
        return;
    std::sort(micros.begin(), micros.end());
    auto at = [&](double q) {
        return micros[std::min(micros.size() - 1, static_cast<std::size_t>(q * micros.size()))];
    };
    state.counters["p50_us"] = at(0.50);
    state.counters["p99_us"] = at(0.99);
}

void StatusRoundTrip(benchmark::State& state) {
    platform::xpc::ConnectionOptions options;
    options.privileged = true;
    auto connection = platform::xpc::Connection::connectToService(
        std::string(ventrella::helper::HelperPaths::machServiceName), options);
    connection->setRemoteObjectInterface(ventrella::helper::helperProtocolInterface());
    connection->resume();
    auto proxy = connection->remoteObjectProxyWithErrorHandler([](const auto&) {});
    auto once = [&] {
        auto reply = std::make_shared<std::promise<std::size_t>>();
        proxy.send("statusWithReply:", {},
                   [reply](platform::xpc::ReplyData data) { reply->set_value(data.size()); });
        return reply->get_future().get();
    };
    if (once() == 0) {
        state.SkipWithError("the helper did not answer");
        return;
    }
    std::vector<double> micros;
    for (auto _ : state) {
        const auto start = Clock::now();
        benchmark::DoNotOptimize(once());
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    reportPercentiles(state, micros);
    connection->invalidate();
}

// What one status request costs at the SMC: the session's mechanism detection and reading
// every fan.
void RawSMCCallsOfStatus(benchmark::State& state) {
    auto connection = std::make_shared<ventrella::smc::SMCConnection>();
    std::vector<double> micros;
    for (auto _ : state) {
        const auto start = Clock::now();
        ventrella::hardware::SMCFanRepository repository(connection, std::nullopt);
        benchmark::DoNotOptimize(repository.readFans(true));
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    reportPercentiles(state, micros);
}

BENCHMARK(StatusRoundTrip)->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(RawSMCCallsOfStatus)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int run(const std::vector<std::string>& arguments, const fs::path& root) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("VIRTUAL_MAC_ROOT", root.c_str(), 1);
        std::vector<char*> argv;
        for (const auto& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        std::_Exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

std::optional<pid_t> helperProcess(const fs::path& helper) {
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::error_code error;
        if (fs::read_symlink(entry.path() / "exe", error) == helper && !error) {
            return std::stoi(entry.path().filename().string());
        }
    }
    return std::nullopt;
}

long statusField(pid_t pid, const std::string& field) {
    std::istringstream in(readFile("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(field + ":", 0) == 0)
            return std::stol(line.substr(field.size() + 1));
    }
    return -1;
}

// user + system ticks of the process, and voluntary switches of all its threads (wake-ups).
std::pair<long, long> cpuAndWakeups(pid_t pid) {
    std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::vector<std::string> values{std::istream_iterator<std::string>(fields), {}};
    const long ticks = std::stol(values.at(11)) + std::stol(values.at(12));
    long wakeups = 0;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
        std::istringstream in(readFile(task.path() / "status"));
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
                wakeups += std::stol(line.substr(24));
        }
    }
    return {ticks, wakeups};
}

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("VENTRELLA_BENCH_CLIENT") != nullptr) {
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        return 0;
    }
    double idleSeconds = 60;
    std::vector<std::string> passOn;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--idle-seconds" && i + 1 < argc) {
            idleSeconds = std::stod(argv[++i]);
        } else {
            passOn.emplace_back(argv[i]);
        }
    }
    std::string pattern = "/tmp/vb-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        return 1;
    const fs::path root = pattern;
    const fs::path self = fs::read_symlink("/proc/self/exe");
    if (run({"/bin/bash", INSTALL_SCRIPT, root.string(), HELPER_PROGRAM, self.string()}, root) !=
            0 ||
        run({VIRTUAL_MAC_TOOL, "--root", root.string(), "start", "--profile", "apple-silicon"},
            root) != 0) {
        std::cerr << "cannot start the simulated Mac\n";
        fs::remove_all(root);
        return 1;
    }
    const fs::path helper = root /
                            "Applications/Ventrella.app/Contents/Library/LaunchServices/"
                            "com.quillmoor.Ventrella.helper";
    std::this_thread::sleep_for(std::chrono::seconds(1));

    std::vector<std::string> client{
        (root / "Applications/Ventrella.app/Contents/MacOS/Ventrella").string()};
    client.insert(client.end(), passOn.begin(), passOn.end());
    ::setenv("VENTRELLA_BENCH_CLIENT", "1", 1);
    const int benchStatus = run(client, root);
    ::unsetenv("VENTRELLA_BENCH_CLIENT");

    if (auto pid = helperProcess(helper)) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const auto [ticksBefore, wakeupsBefore] = cpuAndWakeups(*pid);
        std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
        const auto [ticksAfter, wakeupsAfter] = cpuAndWakeups(*pid);
        const double tick = static_cast<double>(::sysconf(_SC_CLK_TCK));
        std::cout << "helper idle for " << idleSeconds << " s: resident memory "
                  << statusField(*pid, "VmRSS") << " kB (peak " << statusField(*pid, "VmHWM")
                  << " kB), CPU time "
                  << static_cast<double>(ticksAfter - ticksBefore) / tick * 1000 << " ms, wake-ups "
                  << (wakeupsAfter - wakeupsBefore) << "\n";
    } else {
        std::cerr << "the helper is not running\n";
    }
    run({VIRTUAL_MAC_TOOL, "--root", root.string(), "stop"}, root);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    fs::remove_all(root);
    return benchStatus;
}
