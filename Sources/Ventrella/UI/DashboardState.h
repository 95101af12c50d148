#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Ventrella/Core/AppLanguage.h"
#include "Ventrella/Core/GuardMode.h"
#include "VentrellaShared/FanInfo.h"
#include "VentrellaShared/HardwareCapabilities.h"

namespace ventrella::model {
class AppModel;
}

namespace ventrella::ui {

// What the popover's dashboard reads of the application model at one moment.
struct DashboardState {
    core::AppLanguage appLanguage = core::AppLanguage::system;
    double boostEnterCelsius = 80;
    double emergencyEnterCelsius = 90;
    std::optional<double> currentTemperature;
    std::string hottestSensor = "—";
    std::string temperatureMetricTitle;
    std::vector<shared::FanInfo> fans;
    core::GuardMode guardMode = core::GuardMode::automatic();
    bool controlEnabled = false;
    bool helperReady = false;
    bool helperInstalled = false;
    std::optional<shared::HardwareCapabilities> hardwareCapabilities;
    bool externalManualDetected = false;
    bool canTakeOverControl = false;
    bool operationInProgress = false;
    std::string statusMessage;
    bool helperApprovalPromptPresented = false;

    static DashboardState of(const model::AppModel& model);

    bool operator==(const DashboardState&) const = default;
};

}  // namespace ventrella::ui
