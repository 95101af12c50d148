#include "Ventrella/App/Model/PublishedField.h"

namespace ventrella::model {

std::string_view fieldName(PublishedField field) {
    switch (field) {
        case PublishedField::controlEnabled:
            return "controlEnabled";
        case PublishedField::operationInProgress:
            return "operationInProgress";
        case PublishedField::currentTemperature:
            return "currentTemperature";
        case PublishedField::hottestSensor:
            return "hottestSensor";
        case PublishedField::fans:
            return "fans";
        case PublishedField::hardwareCapabilities:
            return "hardwareCapabilities";
        case PublishedField::guardMode:
            return "guardMode";
        case PublishedField::statusMessage:
            return "statusMessage";
        case PublishedField::helperReady:
            return "helperReady";
        case PublishedField::helperInstalled:
            return "helperInstalled";
        case PublishedField::helperApprovalPending:
            return "helperApprovalPending";
        case PublishedField::helperApprovalPromptPresented:
            return "helperApprovalPromptPresented";
        case PublishedField::latestSensorSnapshot:
            return "latestSensorSnapshot";
        case PublishedField::settings:
            return "settings";
    }
    return "unknown";
}

}  // namespace ventrella::model
