#pragma once

#include <map>
#include <string>
#include <vector>

#include "Ventrella/Core/GuardSettings.h"
#include "VentrellaShared/FanInfo.h"

namespace ventrella::diagnostics {

// One-line descriptions of the application's state for diagnostic events and the report.
class DiagnosticSummary {
  public:
    DiagnosticSummary() = delete;

    static constexpr std::size_t maximumSensorsShown = 32;

    // "language=system temperature_source=cpu temperature_aggregation=average
    // boost=72.0-80.0C@55% emergency=80.0-90.0C poll=3.0s" (one line).
    static std::string settings(const core::GuardSettings& settings);

    // "F0:actual=1834 min=1200 max=5800 target=0 mode=automatic | F1:…", or "none".
    static std::string fans(const std::vector<shared::FanInfo>& fans);

    // "cpu[3]=Tp01=61.2C,Tp05=63.0C,Tp09=59.9C": the first 32 sensors by key, then
    // ",+N more" for the rest.
    static std::string sensorGroup(const std::string& label,
                                   const std::map<std::string, double>& values);

  private:
    // The speed rounded to whole revolutions, or "invalid" outside 0...100000.
    static std::string rpm(double value);
};

}  // namespace ventrella::diagnostics
