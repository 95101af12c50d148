#pragma once

#include <array>
#include <string_view>

namespace ventrella::model {

// The model's state that the views read. Each is announced before it changes (see
// WillChangeNotifier).
enum class PublishedField {
    controlEnabled,
    operationInProgress,
    currentTemperature,
    hottestSensor,
    fans,
    hardwareCapabilities,
    guardMode,
    statusMessage,
    helperReady,
    helperInstalled,
    helperApprovalPending,
    helperApprovalPromptPresented,
    latestSensorSnapshot,
    settings,
};

inline constexpr std::array<PublishedField, 14> allPublishedFields = {
    PublishedField::controlEnabled,
    PublishedField::operationInProgress,
    PublishedField::currentTemperature,
    PublishedField::hottestSensor,
    PublishedField::fans,
    PublishedField::hardwareCapabilities,
    PublishedField::guardMode,
    PublishedField::statusMessage,
    PublishedField::helperReady,
    PublishedField::helperInstalled,
    PublishedField::helperApprovalPending,
    PublishedField::helperApprovalPromptPresented,
    PublishedField::latestSensorSnapshot,
    PublishedField::settings,
};

// The field's name as the model's reader calls it ("controlEnabled", "statusMessage", ...).
std::string_view fieldName(PublishedField field);

}  // namespace ventrella::model
