#include "Ventrella/UI/ThermalThresholdScalePresenter.h"

#include <algorithm>
#include <cmath>

#include "Ventrella/Core/L10n.h"
#include "Ventrella/UI/NumberText.h"
#include "Ventrella/UI/TemperatureVariant.h"
#include "Ventrella/UI/ThermalScale.h"

namespace ventrella::ui {

namespace {

using core::L10n;

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

QString thresholdLabel(const char* title, double threshold) {
    return text(L10n::format("%@ %d°", L10n::string(title), NumberText::truncated(threshold)));
}

}  // namespace

ThermalThresholdScalePresenter::ThermalThresholdScalePresenter(QObject* parent) : QObject(parent) {}

template <class T>
void ThermalThresholdScalePresenter::assign(T& field, const T& value) {
    if (field != value) {
        field = value;
        emit inputChanged();
    }
}

void ThermalThresholdScalePresenter::setTrackWidth(double width) {
    assign(trackWidth_, std::isfinite(width) ? std::max(width, 0.0) : 0.0);
}

QVariant ThermalThresholdScalePresenter::temperature() const {
    return TemperatureVariant::variant(temperature_);
}

void ThermalThresholdScalePresenter::setTemperature(const QVariant& temperature) {
    const auto celsius = TemperatureVariant::celsius(temperature);
    if (!TemperatureVariant::same(celsius, temperature_)) {
        temperature_ = celsius;
        emit inputChanged();
    }
}

void ThermalThresholdScalePresenter::setBoostThreshold(double celsius) {
    assign(boostThreshold_, celsius);
}

void ThermalThresholdScalePresenter::setEmergencyThreshold(double celsius) {
    assign(emergencyThreshold_, celsius);
}

void ThermalThresholdScalePresenter::setLanguage(const QString& language) {
    assign(language_, language);
}

double ThermalThresholdScalePresenter::fillWidth() const {
    return ThermalScale::position(trackWidth_, temperature_);
}

double ThermalThresholdScalePresenter::boostMarker() const {
    return ThermalScale::markerPosition(trackWidth_, boostThreshold_);
}

double ThermalThresholdScalePresenter::emergencyMarker() const {
    return ThermalScale::markerPosition(trackWidth_, emergencyThreshold_);
}

double ThermalThresholdScalePresenter::boostStop() const {
    return ThermalScale::fraction(boostThreshold_);
}

double ThermalThresholdScalePresenter::emergencyStop() const {
    return ThermalScale::fraction(emergencyThreshold_);
}

double ThermalThresholdScalePresenter::boostLabelFrameWidth() const {
    return std::max(boostMarker() - labelGap, 0.0);
}

double ThermalThresholdScalePresenter::emergencyLabelFrameWidth() const {
    return std::max(emergencyMarker() - labelGap, 0.0);
}

QString ThermalThresholdScalePresenter::boostLabel() const {
    return thresholdLabel("Boost", boostThreshold_);
}

QString ThermalThresholdScalePresenter::emergencyLabel() const {
    return thresholdLabel("Emergency", emergencyThreshold_);
}

QString ThermalThresholdScalePresenter::accessibleName() const {
    return text(L10n::string("Thermal thresholds"));
}

QString ThermalThresholdScalePresenter::accessibleValue() const {
    // A value that is not a number reads as no reading rather than as "nan".
    const std::string current = temperature_ && !std::isnan(*temperature_)
                                    ? NumberText::decimal(*temperature_, 1)
                                    : L10n::string("unknown");
    return text(L10n::format(
        "Current temperature %@ degrees, Boost %d degrees, Emergency %d degrees", current,
        NumberText::truncated(boostThreshold_), NumberText::truncated(emergencyThreshold_)));
}

}  // namespace ventrella::ui
