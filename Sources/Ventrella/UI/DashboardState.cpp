#include "Ventrella/UI/DashboardState.h"

#include "Ventrella/App/Model/AppModel.h"

namespace ventrella::ui {

DashboardState DashboardState::of(const model::AppModel& model) {
    const core::GuardSettings& settings = model.settings();
    return {
        .appLanguage = settings.appLanguage,
        .boostEnterCelsius = settings.boostEnterCelsius,
        .emergencyEnterCelsius = settings.emergencyEnterCelsius,
        .currentTemperature = model.currentTemperature(),
        .hottestSensor = model.hottestSensor(),
        .temperatureMetricTitle = model.temperatureMetricTitle(),
        .fans = model.fans(),
        .guardMode = model.guardMode(),
        .controlEnabled = model.controlEnabled(),
        .helperReady = model.helperReady(),
        .helperInstalled = model.helperInstalled(),
        .hardwareCapabilities = model.hardwareCapabilities(),
        .externalManualDetected = model.externalManualDetected(),
        .canTakeOverControl = model.canTakeOverControl(),
        .operationInProgress = model.operationInProgress(),
        .statusMessage = model.statusMessage(),
        .helperApprovalPromptPresented = model.helperApprovalPromptPresented(),
    };
}

}  // namespace ventrella::ui
