#include "WatchCost/StandInHwmon.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace ventrella::bench {

namespace {

void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::trunc);
    out << text;
    if (!out.flush())
        throw std::runtime_error("cannot write " + path.string());
}

std::string readFirstLine(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

}  // namespace

StandInHwmon::StandInHwmon(const std::filesystem::path& directory, int milliCelsius)
    : device_(directory / "hwmon0") {
    std::filesystem::create_directory(device_);
    writeFile(device_ / "name", "ventrella_bench\n");
    writeFile(fanFile(), "0\n");
    writeFile(fanEnableFile(), "");
    setTemperature(milliCelsius);
    watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ < 0 || ::inotify_add_watch(watch_, device_.c_str(), IN_OPEN | IN_CLOSE_WRITE) < 0) {
        const std::string reason = std::strerror(errno);
        if (watch_ >= 0)
            ::close(watch_);
        throw std::runtime_error("cannot watch " + device_.string() + ": " + reason);
    }
}

StandInHwmon::~StandInHwmon() {
    if (watch_ >= 0)
        ::close(watch_);
}

void StandInHwmon::setTemperature(int milliCelsius) {
    // Written beside it and renamed over it: the daemon may read at any moment.
    const auto next = device_ / "temp1_input.next";
    writeFile(next, std::to_string(milliCelsius) + "\n");
    std::filesystem::rename(next, temperatureFile());
}

std::vector<StandInHwmon::Event> StandInHwmon::takeEvents() {
    std::vector<Event> events;
    alignas(inotify_event) char buffer[4096];
    while (true) {
        const ssize_t got = ::read(watch_, buffer, sizeof buffer);
        if (got <= 0)
            break;
        const auto at = Clock::now();
        for (ssize_t offset = 0; offset < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            const std::string name = event->len > 0 ? event->name : "";
            if (name == "temp1_input" && (event->mask & IN_OPEN) != 0) {
                events.push_back({Event::Kind::sensorOpened, at, {}});
            } else if (name == "pwm1" && (event->mask & IN_CLOSE_WRITE) != 0) {
                events.push_back({Event::Kind::fanWritten, at, readFirstLine(fanFile())});
            }
        }
    }
    return events;
}

}  // namespace ventrella::bench
