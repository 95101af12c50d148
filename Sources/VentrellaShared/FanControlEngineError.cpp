#include "VentrellaShared/FanControlEngineError.h"

#include <utility>

namespace ventrella::shared {

namespace {

std::string describe(FanControlEngineError::Kind kind, const std::string& operation,
                     const std::string& restore) {
    using Kind = FanControlEngineError::Kind;
    switch (kind) {
        case Kind::rollbackFailed:
            return operation +
                   " failed to return to Automatic; the watchdog will retry: " + restore;
        case Kind::externalManualControl:
            return "The fans are being controlled manually by another app.";
        case Kind::operationTimedOut:
            return "The fan-control operation exceeded its safe time limit.";
        case Kind::manualVerificationFailed:
            return "The manual target could not be verified on every fan.";
        case Kind::automaticVerificationFailed:
            return "Apple Automatic could not be verified on every fan.";
        case Kind::takeoverNotStable:
            return "Control could not be taken over because another app reclaimed fan control.";
    }
    return {};
}

}  // namespace

FanControlEngineError::FanControlEngineError(Kind kind, std::string operation, std::string restore)
    : kind_(kind),
      operation_(std::move(operation)),
      restore_(std::move(restore)),
      description_(describe(kind_, operation_, restore_)) {}

FanControlEngineError FanControlEngineError::rollbackFailed(std::string operation,
                                                            std::string restore) {
    return {Kind::rollbackFailed, std::move(operation), std::move(restore)};
}

FanControlEngineError FanControlEngineError::externalManualControl() {
    return {Kind::externalManualControl, {}, {}};
}

FanControlEngineError FanControlEngineError::operationTimedOut() {
    return {Kind::operationTimedOut, {}, {}};
}

FanControlEngineError FanControlEngineError::manualVerificationFailed() {
    return {Kind::manualVerificationFailed, {}, {}};
}

FanControlEngineError FanControlEngineError::automaticVerificationFailed() {
    return {Kind::automaticVerificationFailed, {}, {}};
}

FanControlEngineError FanControlEngineError::takeoverNotStable() {
    return {Kind::takeoverNotStable, {}, {}};
}

}  // namespace ventrella::shared
