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
#include <future>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Platform/XPC/Connection.h"
#include "ProcessCost/ProcessCostSampler.h"
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
        ventrella::bench::ProcessCostSampler sampler(*pid);
        const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                            std::chrono::duration<double>(idleSeconds));
        while (Clock::now() < end) {
            const Clock::duration left = end - Clock::now();
            std::this_thread::sleep_for(std::min<Clock::duration>(std::chrono::seconds(1), left));
            sampler.sample();
        }
        const auto cost = sampler.finish();
        std::cout << "helper idle for " << idleSeconds << " s: resident memory "
                  << cost.finalResidentKiB << " kB (peak " << cost.peakResidentKiB
                  << " kB), CPU time "
                  << std::chrono::duration<double, std::milli>(cost.cpuTime).count()
                  << " ms, wake-ups " << cost.wakeups() << " (voluntary " << cost.voluntarySwitches
                  << "), threads " << cost.finalThreads << "\n";
    } else {
        std::cerr << "the helper is not running\n";
    }
    run({VIRTUAL_MAC_TOOL, "--root", root.string(), "stop"}, root);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    fs::remove_all(root);
    return benchStatus;
}
