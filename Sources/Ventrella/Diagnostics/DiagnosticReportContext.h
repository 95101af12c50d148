#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Ventrella/Core/GuardSettings.h"
#include "VentrellaShared/FanInfo.h"

namespace ventrella::diagnostics {

// The application's state at the moment the user saves a diagnostic report.
struct DiagnosticReportContext {
    std::string appVersion;    // AppVersion's display text
    std::string macOSVersion;  // the operating system's version text
    std::string hardware;      // the hardware description
    std::string guardMode;     // the guard mode as shown
    bool controlEnabled = false;
    bool helperReady = false;
    std::optional<double> temperatureCelsius;
    core::GuardSettings settings;
    std::vector<shared::FanInfo> fans;
    std::string sensors;  // the sensor groups' summary

    // The report's header: exactly "app_version", "macos", "hardware", "guard_mode",
    // "control_enabled", "helper_ready", "temperature_c" (one decimal, or "unavailable"),
    // "settings", "fans" and "sensors".
    std::map<std::string, std::string> header() const;

    bool operator==(const DiagnosticReportContext&) const = default;
};

}  // namespace ventrella::diagnostics
