// The cost of SMC calls in-process and through a running `virtual-mac`, per call.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "Platform/IOKit/InProcessBackend.h"
#include "Platform/VirtualMac/VirtualMachine.h"
#include "SMCKit/SMCConnection.h"
#include "VentrellaHardware/SMCFanRepository.h"

namespace {

using ventrella::hardware::SMCFanRepository;
using ventrella::smc::SMCConnection;
using ventrella::smc::SMCParamStruct;

int runProgram(const std::vector<std::string>& arguments) {
    const pid_t child = ::fork();
    if (child == 0) {
        std::vector<char*> argv{const_cast<char*>(VIRTUAL_MAC_PROGRAM)};
        for (const auto& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(VIRTUAL_MAC_PROGRAM, argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A `virtual-mac` process in a private root for the benchmark's lifetime.
class RunningMachine {
  public:
    RunningMachine() {
        std::string pattern = std::filesystem::temp_directory_path() / "ventrella-bench-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a temporary root");
        }
        root_ = pattern;
        ::setenv("VIRTUAL_MAC_ROOT", root_.c_str(), 1);
        if (runProgram({"start", "--profile", "apple-silicon"}) != 0) {
            throw std::runtime_error("virtual-mac did not start");
        }
    }
    ~RunningMachine() {
        runProgram({"stop"});
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

  private:
    std::filesystem::path root_;
};

SMCParamStruct keyInfoRecord(SMCConnection& connection, const char* key) {
    SMCParamStruct record;
    record.key = connection.fourCharCode(key);
    record.data8 = 9;  // key info
    return record;
}

// The SMC calls one two-fan read makes, counted on an in-process machine.
std::size_t callsPerFanRead() {
    virtualmac::VirtualMachine machine(virtualmac::MachineProfile::named("apple-silicon"));
    platform::iokit::ScopedInProcessDevice device(machine.smc());
    SMCFanRepository repository(std::make_shared<SMCConnection>(), std::nullopt);
    machine.smc()->clearJournal();
    repository.readFans(false);
    return machine.smc()->journal().size();
}

void oneCall(benchmark::State& state) {
    SMCConnection connection;
    const auto record = keyInfoRecord(connection, "F0Ac");
    for (auto _ : state) {
        benchmark::DoNotOptimize(connection.callSMC(record));
    }
    state.counters["per_call"] =
        benchmark::Counter(static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void fanRead(benchmark::State& state) {
    SMCFanRepository repository(std::make_shared<SMCConnection>(), std::nullopt);
    const auto calls = static_cast<double>(callsPerFanRead());
    for (auto _ : state) {
        auto fans = repository.readFans(false);
        benchmark::DoNotOptimize(fans);
    }
    state.counters["calls"] = calls;
    state.counters["per_call"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * calls,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_OneSMCCall_InProcess(benchmark::State& state) {
    virtualmac::VirtualMachine machine(virtualmac::MachineProfile::named("apple-silicon"));
    platform::iokit::ScopedInProcessDevice device(machine.smc());
    oneCall(state);
}
BENCHMARK(BM_OneSMCCall_InProcess)->UseRealTime();

void BM_OneSMCCall_VirtualMac(benchmark::State& state) {
    RunningMachine running;
    oneCall(state);
}
BENCHMARK(BM_OneSMCCall_VirtualMac)->UseRealTime();

void BM_TwoFanRead_InProcess(benchmark::State& state) {
    virtualmac::VirtualMachine machine(virtualmac::MachineProfile::named("apple-silicon"));
    platform::iokit::ScopedInProcessDevice device(machine.smc());
    fanRead(state);
}
BENCHMARK(BM_TwoFanRead_InProcess)->UseRealTime();

void BM_TwoFanRead_VirtualMac(benchmark::State& state) {
    RunningMachine running;
    fanRead(state);
}
BENCHMARK(BM_TwoFanRead_VirtualMac)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
