#include "Ventrella/UI/ThermalThresholdBarPresenter.h"

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

}  // namespace

ThermalThresholdBarPresenter::ThermalThresholdBarPresenter(QObject* parent) : QObject(parent) {}

template <class T>
void ThermalThresholdBarPresenter::assign(T& field, const T& value) {
    if (field != value) {
        field = value;
        emit inputChanged();
    }
}

void ThermalThresholdBarPresenter::setTrackWidth(double width) {
    assign(trackWidth_, std::isfinite(width) ? std::max(width, 0.0) : 0.0);
}

QVariant ThermalThresholdBarPresenter::temperature() const {
    return TemperatureVariant::variant(temperature_);
}

void ThermalThresholdBarPresenter::setTemperature(const QVariant& temperature) {
    const auto celsius = TemperatureVariant::celsius(temperature);
    if (!TemperatureVariant::same(celsius, temperature_)) {
        temperature_ = celsius;
        emit inputChanged();
    }
}

void ThermalThresholdBarPresenter::setThreshold(double celsius) {
    assign(threshold_, celsius);
}

void ThermalThresholdBarPresenter::setTitle(const QString& title) {
    assign(title_, title);
}

void ThermalThresholdBarPresenter::setLanguage(const QString& language) {
    assign(language_, language);
}

std::optional<double> ThermalThresholdBarPresenter::shown() const {
    if (temperature_ && std::isnan(*temperature_)) {
        return std::nullopt;
    }
    return temperature_;
}

double ThermalThresholdBarPresenter::fillFraction() const {
    const auto celsius = shown();
    return celsius ? ThermalScale::fraction(*celsius) : 0.0;
}

double ThermalThresholdBarPresenter::fillWidth() const {
    return std::max(0.0, trackWidth_ * fillFraction());
}

double ThermalThresholdBarPresenter::markerX() const {
    return ThermalScale::markerPosition(trackWidth_, threshold_);
}

QString ThermalThresholdBarPresenter::temperatureText() const {
    const auto celsius = shown();
    return celsius ? text(NumberText::formatted("%.1f", *celsius)) : QStringLiteral("—");
}

QString ThermalThresholdBarPresenter::thresholdText() const {
    return text(NumberText::formatted("%.0f°C", threshold_));
}

QString ThermalThresholdBarPresenter::accessibleName() const {
    return text(L10n::format("%@ temperature threshold", title_.toStdString()));
}

QString ThermalThresholdBarPresenter::accessibleValue() const {
    const auto celsius = shown();
    const std::string current =
        celsius ? NumberText::formatted("%.1f", *celsius) : L10n::string("unknown");
    return text(L10n::format("Current temperature %@ degrees, threshold %d degrees", current,
                             NumberText::truncated(threshold_)));
}

}  // namespace ventrella::ui
