#include "Platform/VirtualMac/ThermalModel.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace virtualmac {
namespace {

void requireFinite(double value, const char* what) {
    if (!std::isfinite(value)) {
        throw std::invalid_argument(std::string(what) + " must be finite");
    }
}

double clampedLoad(double load) {
    if (std::isnan(load)) {
        throw std::invalid_argument("load must be a number");
    }
    return std::clamp(load, 0.0, 1.0);
}

// Exact solution of dT/dt = (P - G (T - ambient)) / C over one step.
double heated(double temperature, double power, double conductance, double capacity,
              double seconds) {
    const double equilibrium = thermal::kAmbientCelsius + power / conductance;
    return equilibrium + (temperature - equilibrium) * std::exp(-seconds * conductance / capacity);
}

}  // namespace

ThermalModel::ThermalModel(std::vector<FanLimits> fans) {
    fans_.reserve(fans.size());
    for (const FanLimits& limits : fans) {
        requireFinite(limits.minimumRPM, "minimum speed");
        requireFinite(limits.maximumRPM, "maximum speed");
        if (limits.minimumRPM < 0 || limits.maximumRPM < limits.minimumRPM) {
            throw std::invalid_argument("fan limits must satisfy 0 <= minimum <= maximum");
        }
        fans_.push_back(FanState{limits.minimumRPM, limits.maximumRPM, FanMode::automatic,
                                 limits.minimumRPM, limits.minimumRPM});
    }
}

void ThermalModel::advance(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) {
        throw std::invalid_argument("interval must be finite and not negative");
    }
    // Whole steps plus one remainder, so that many small advances and one large
    // advance of the same total agree closely.
    while (seconds > thermal::kMaximumStepSeconds) {
        step(thermal::kMaximumStepSeconds);
        seconds -= thermal::kMaximumStepSeconds;
    }
    if (seconds > 0) {
        step(seconds);
    }
}

void ThermalModel::step(double seconds) {
    const double conductance =
        thermal::kPassiveConductance + thermal::kAirflowConductance * airflow();
    cpuTemperature_ = heated(cpuTemperature_,
                             thermal::kCpuIdlePowerWatts + cpuLoad_ * thermal::kCpuLoadPowerWatts,
                             conductance, thermal::kCpuHeatCapacity, seconds);
    gpuTemperature_ = heated(gpuTemperature_,
                             thermal::kGpuIdlePowerWatts + gpuLoad_ * thermal::kGpuLoadPowerWatts,
                             conductance, thermal::kGpuHeatCapacity, seconds);

    const double hottest = std::max(cpuTemperature_, gpuTemperature_);
    const double approach = 1.0 - std::exp(-seconds / thermal::kFanTimeConstantSeconds);
    for (FanState& fan : fans_) {
        if (fan.mode == FanMode::automatic) {
            fan.targetRPM = automaticTarget(fan, hottest);
        }
        const double reachable = std::clamp(fan.targetRPM, 0.0, fan.maximumRPM);
        fan.actualRPM += (reachable - fan.actualRPM) * approach;
    }
}

double ThermalModel::airflow() const {
    double sum = 0;
    for (const FanState& fan : fans_) {
        if (fan.maximumRPM > 0) {
            sum += std::clamp(fan.actualRPM / fan.maximumRPM, 0.0, 1.0);
        }
    }
    return fans_.empty() ? 0.0 : sum / static_cast<double>(fans_.size());
}

double ThermalModel::automaticTarget(const FanState& fan, double celsius) {
    const double fraction =
        std::clamp((celsius - thermal::kAutomaticCurveLowCelsius) /
                       (thermal::kAutomaticCurveHighCelsius - thermal::kAutomaticCurveLowCelsius),
                   0.0, 1.0);
    return fan.minimumRPM + fraction * (fan.maximumRPM - fan.minimumRPM);
}

void ThermalModel::setCpuLoad(double load) {
    cpuLoad_ = clampedLoad(load);
}

void ThermalModel::setGpuLoad(double load) {
    gpuLoad_ = clampedLoad(load);
}

void ThermalModel::setCpuTemperature(double celsius) {
    requireFinite(celsius, "temperature");
    cpuTemperature_ = celsius;
}

void ThermalModel::setGpuTemperature(double celsius) {
    requireFinite(celsius, "temperature");
    gpuTemperature_ = celsius;
}

const FanState& ThermalModel::fan(std::size_t index) const {
    if (index >= fans_.size()) {
        throw std::out_of_range("no fan " + std::to_string(index));
    }
    return fans_[index];
}

FanState& ThermalModel::mutableFan(std::size_t index) {
    if (index >= fans_.size()) {
        throw std::out_of_range("no fan " + std::to_string(index));
    }
    return fans_[index];
}

void ThermalModel::setFanMode(std::size_t index, FanMode mode) {
    mutableFan(index).mode = mode;
}

void ThermalModel::setFanTarget(std::size_t index, double rpm) {
    requireFinite(rpm, "target speed");
    mutableFan(index).targetRPM = rpm;
}

}  // namespace virtualmac
