#pragma once

#include <cstddef>
#include <vector>

namespace virtualmac {

// Physical constants of the simulated machine. Chosen so that, from idle, a CPU
// at full load with its fans held at minimum passes 90 °C in about a minute of
// simulated time, while a manual target near 60 % of the fans' range holds it
// some 20 °C lower.
namespace thermal {

// Temperature of the air the fans draw in, °C.
inline constexpr double kAmbientCelsius = 30.0;

// Heat a die produces: idle power plus load times the additional power at full load, W.
inline constexpr double kCpuIdlePowerWatts = 6.0;
inline constexpr double kCpuLoadPowerWatts = 24.0;
inline constexpr double kGpuIdlePowerWatts = 4.0;
inline constexpr double kGpuLoadPowerWatts = 20.0;

// Heat a die sheds to ambient, W/K: a passive part plus a part proportional to
// airflow (the fans' mean actual speed over their maximum, 0..1).
inline constexpr double kPassiveConductance = 0.30;
inline constexpr double kAirflowConductance = 0.45;

// Heat capacities, J/K; with the conductances they set the warm-up time
// constants (about 50 s for the CPU at minimum fan speed).
inline constexpr double kCpuHeatCapacity = 20.0;
inline constexpr double kGpuHeatCapacity = 16.0;

// The firmware's automatic curve: minimum speed at or below the low point,
// maximum at or above the high point, linear in between. It follows the hotter die.
inline constexpr double kAutomaticCurveLowCelsius = 55.0;
inline constexpr double kAutomaticCurveHighCelsius = 95.0;

// First-order lag of a fan's actual speed behind its target, s.
inline constexpr double kFanTimeConstantSeconds = 1.5;

// Longest integration step; longer advances are split into steps of this size.
inline constexpr double kMaximumStepSeconds = 0.1;

}  // namespace thermal

enum class FanMode { automatic, manual };

// A fan's fixed limits.
struct FanLimits {
    double minimumRPM = 0;
    double maximumRPM = 0;
};

// A fan's limits and its current state.
struct FanState {
    double minimumRPM = 0;
    double maximumRPM = 0;
    FanMode mode = FanMode::automatic;
    double targetRPM = 0;
    double actualRPM = 0;
};

// The simulated machine's heat: CPU and GPU loads heat their dies, the fans'
// airflow cools them, the firmware's automatic curve drives fans in automatic
// mode and manual targets hold. Deterministic and free of clocks: the owner
// steps it with `advance`, in real time or faster. Not synchronised; the owner
// serialises access.
class ThermalModel {
  public:
    // Starts at ambient temperature, idle, every fan automatic at its minimum.
    // Throws std::invalid_argument for limits that are negative, not finite, or
    // whose minimum exceeds the maximum.
    explicit ThermalModel(std::vector<FanLimits> fans);

    // Moves the simulation forward. Throws std::invalid_argument for a negative
    // or non-finite interval.
    void advance(double seconds);

    double cpuLoad() const { return cpuLoad_; }
    double gpuLoad() const { return gpuLoad_; }
    // Loads are fractions of full load, clamped to 0..1; NaN is rejected.
    void setCpuLoad(double load);
    void setGpuLoad(double load);

    double cpuTemperature() const { return cpuTemperature_; }
    double gpuTemperature() const { return gpuTemperature_; }
    // Places a die at a temperature, for scenarios that start hot; NaN and infinity are rejected.
    void setCpuTemperature(double celsius);
    void setGpuTemperature(double celsius);

    std::size_t fanCount() const { return fans_.size(); }
    // Throw std::out_of_range for an index past the last fan.
    const FanState& fan(std::size_t index) const;
    // Switching to automatic hands the target back to the firmware's curve at the
    // next step; switching to manual keeps the current target until one is written.
    void setFanMode(std::size_t index, FanMode mode);
    // The written target. In automatic mode the firmware replaces it at the next
    // step. The fan itself never turns faster than its maximum or below zero.
    // NaN and infinity are rejected.
    void setFanTarget(std::size_t index, double rpm);

    // The firmware's automatic target for a fan at the given die temperature.
    static double automaticTarget(const FanState& fan, double celsius);

  private:
    void step(double seconds);
    double airflow() const;
    FanState& mutableFan(std::size_t index);

    std::vector<FanState> fans_;
    double cpuLoad_ = 0;
    double gpuLoad_ = 0;
    double cpuTemperature_ = thermal::kAmbientCelsius;
    double gpuTemperature_ = thermal::kAmbientCelsius;
};

}  // namespace virtualmac
