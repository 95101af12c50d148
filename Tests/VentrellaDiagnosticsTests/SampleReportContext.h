#pragma once

#include "Ventrella/Diagnostics/DiagnosticReportContext.h"

namespace ventrella::diagnostics::testing {

// A context as the model fills it while Boost runs.
inline DiagnosticReportContext sampleReportContext() {
    DiagnosticReportContext context;
    context.appVersion = "1.4 (27)";
    context.macOSVersion = "Version 14.5 (Build 23F79)";
    context.hardware = "Mac15,6 · Apple M3 Pro";
    context.guardMode = "Boost";
    context.controlEnabled = true;
    context.helperReady = true;
    context.temperatureCelsius = 71.25;
    context.fans = {{0, 1834, 1200, 5800, 0, shared::FanControlMode::automatic}};
    context.sensors = "cpu[1]=Tp01=61.2C | gpu[0]=";
    return context;
}

}  // namespace ventrella::diagnostics::testing
