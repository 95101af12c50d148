#include "ProcessCost/ProcessCostSampler.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace ventrella::bench {

namespace {

// /proc texts are small; anything past this is not one of them.
constexpr std::size_t maximumProcText = 64 * 1024;

std::optional<std::string> readProcText(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string text(maximumProcText, '\0');
    std::size_t size = 0;
    while (size < text.size()) {
        const ssize_t got = ::read(fd, text.data() + size, text.size() - size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            if (got < 0)
                size = 0;
            break;
        }
        size += static_cast<std::size_t>(got);
    }
    ::close(fd);
    if (size == 0)
        return std::nullopt;
    text.resize(size);
    return text;
}

std::runtime_error gone(pid_t pid) {
    return std::runtime_error("process " + std::to_string(pid) + " cannot be read: it has ended");
}

}  // namespace

ProcessCostSampler::ProcessCostSampler(pid_t pid) : pid_(pid) {
    if (const int error = ::clock_getcpuclockid(pid, &cpuClock_); error != 0)
        throw std::runtime_error("no CPU-time clock for process " + std::to_string(pid) + ": " +
                                 std::strerror(error));
    first_ = look();
    ledger_.emplace(first_.threads);
    mostResidentKiB_ = first_.status.residentKiB.value_or(0);
}

ProcessCostSampler::Look ProcessCostSampler::look() const {
    Look look;
    timespec cpu{};
    if (::clock_gettime(cpuClock_, &cpu) != 0)
        throw gone(pid_);
    look.at = std::chrono::steady_clock::now();
    look.cpu = std::chrono::seconds(cpu.tv_sec) + std::chrono::nanoseconds(cpu.tv_nsec);

    const std::string base = "/proc/" + std::to_string(pid_);
    const auto statText = readProcText(base + "/stat");
    const auto statusText = readProcText(base + "/status");
    const auto stat = statText ? parseProcStat(*statText) : std::nullopt;
    const auto status = statusText ? parseProcStatus(*statusText) : std::nullopt;
    if (!stat || !status || stat->state == 'Z' || stat->state == 'X')
        throw gone(pid_);
    // Before the first look there is no start time to hold it to (no process starts at boot's
    // first tick).
    if (first_.stat.startTicks != 0 && stat->startTicks != first_.stat.startTicks)
        throw std::runtime_error("process " + std::to_string(pid_) +
                                 " has ended and its id names another process");
    look.stat = *stat;
    look.status = *status;

    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(base + "/task", error)) {
        pid_t tid = 0;
        const auto name = entry.path().filename().string();
        if (std::from_chars(name.data(), name.data() + name.size(), tid).ec != std::errc())
            continue;
        // A thread that ends while it is read is simply not in this look.
        const auto taskStat = readProcText(entry.path() / "stat");
        const auto taskStatus = readProcText(entry.path() / "status");
        const auto parsedStat = taskStat ? parseProcStat(*taskStat) : std::nullopt;
        const auto parsedStatus = taskStatus ? parseProcStatus(*taskStatus) : std::nullopt;
        if (!parsedStat || !parsedStatus)
            continue;
        look.threads.push_back({tid, parsedStat->startTicks, parsedStatus->voluntarySwitches,
                                parsedStatus->involuntarySwitches});
    }
    if (error || look.threads.empty())
        throw gone(pid_);
    return look;
}

void ProcessCostSampler::sample() {
    const auto now = look();
    ledger_->record(now.threads);
    mostResidentKiB_ = std::max(mostResidentKiB_, now.status.residentKiB.value_or(0));
}

ProcessCost ProcessCostSampler::finish() {
    const auto last = look();
    ledger_->record(last.threads);
    mostResidentKiB_ = std::max(mostResidentKiB_, last.status.residentKiB.value_or(0));

    ProcessCost cost;
    cost.wallTime = last.at - first_.at;
    cost.cpuTime = last.cpu - first_.cpu;
    cost.userTicks = last.stat.userTicks - std::min(last.stat.userTicks, first_.stat.userTicks);
    cost.systemTicks =
        last.stat.systemTicks - std::min(last.stat.systemTicks, first_.stat.systemTicks);
    cost.voluntarySwitches = ledger_->voluntary();
    cost.involuntarySwitches = ledger_->involuntary();
    cost.peakResidentKiB = last.status.peakResidentKiB.value_or(0);
    cost.finalResidentKiB = last.status.residentKiB.value_or(0);
    cost.mostResidentKiB = mostResidentKiB_;
    cost.finalThreads = ledger_->currentThreads();
    cost.mostThreads = ledger_->mostThreads();
    cost.threadsStarted = ledger_->threadsStarted();
    cost.threadsEnded = ledger_->threadsEnded();
    return cost;
}

}  // namespace ventrella::bench
