#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace ventrella::bench {

// A directory laid out like one hwmon device of /sys/class/hwmon, for a Linux fan daemon to
// drive: hwmon0/name, temp1_input (millidegrees Celsius), pwm1 (0 to 255) and pwm1_enable. It
// watches the files with inotify, so that the daemon's cycles (each reads the temperature) and
// its fan writes are seen as they happen. pwm1_enable is left empty: a plain file cannot act
// as the kernel's attribute does, so the caller mounts one over it.
class StandInHwmon {
  public:
    using Clock = std::chrono::steady_clock;

    struct Event {
        enum class Kind { sensorOpened, fanWritten };
        Kind kind;
        Clock::time_point at;
        std::string value;  // what a fan write left in pwm1
    };

    // Lays the device out under `directory`, which must exist. Throws std::runtime_error.
    StandInHwmon(const std::filesystem::path& directory, int milliCelsius);
    ~StandInHwmon();
    StandInHwmon(const StandInHwmon&) = delete;
    StandInHwmon& operator=(const StandInHwmon&) = delete;

    std::filesystem::path device() const { return device_; }
    std::filesystem::path temperatureFile() const { return device_ / "temp1_input"; }
    std::filesystem::path fanFile() const { return device_ / "pwm1"; }
    std::filesystem::path fanEnableFile() const { return device_ / "pwm1_enable"; }

    // Replaces the temperature at once: a reader sees the old value or the new one, never half.
    void setTemperature(int milliCelsius);

    // Readable when events wait; for poll().
    int eventDescriptor() const { return watch_; }
    // The events since the last call; does not block.
    std::vector<Event> takeEvents();

  private:
    std::filesystem::path device_;
    int watch_ = -1;
};

}  // namespace ventrella::bench
