#include "Ventrella/UI/TemperatureBandPresenter.h"

#include <algorithm>
#include <cmath>

#include "Ventrella/Core/L10n.h"
#include "Ventrella/UI/NumberText.h"
#include "Ventrella/UI/SettingsBindings.h"

namespace ventrella::ui {

namespace {

using core::L10n;

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

// A whole number of degrees and its unit ("45°C", "40°"), under the interface's locale.
QString temperature(double celsius, const char* unit) {
    return text(NumberText::formatted("%d%@", NumberText::truncated(celsius), unit));
}

QString degrees(double celsius) {
    return text(L10n::format("%d degrees", NumberText::truncated(celsius)));
}

double unit(double value) {
    return std::isnan(value) ? 0.0 : std::clamp(value, 0.0, 1.0);
}

}  // namespace

TemperatureBandPresenter::TemperatureBandPresenter(QObject* parent) : QObject(parent) {}

template <class T>
void TemperatureBandPresenter::assign(T& field, const T& value) {
    if (field != value) {
        field = value;
        emit inputChanged();
    }
}

void TemperatureBandPresenter::setTrackWidth(double width) {
    assign(trackWidth_, std::isfinite(width) ? std::max(width, 0.0) : 0.0);
}

void TemperatureBandPresenter::setHandleSize(double size) {
    assign(handleSize_, std::isfinite(size) ? std::max(size, 0.0) : 0.0);
}

void TemperatureBandPresenter::setLowerCelsius(double celsius) {
    assign(lower_, celsius);
}

void TemperatureBandPresenter::setUpperCelsius(double celsius) {
    assign(upper_, celsius);
}

void TemperatureBandPresenter::setExitCelsius(double celsius) {
    assign(exit_, celsius);
}

void TemperatureBandPresenter::setEnterCelsius(double celsius) {
    assign(enter_, celsius);
}

void TemperatureBandPresenter::setLanguage(const QString& language) {
    assign(language_, language);
}

double TemperatureBandPresenter::usableWidth() const {
    return std::max(trackWidth_ - handleSize_, 1.0);
}

double TemperatureBandPresenter::fraction(double celsius) const {
    return unit((celsius - lower_) / (upper_ - lower_));
}

double TemperatureBandPresenter::centre(double celsius) const {
    return handleSize_ / 2 + usableWidth() * fraction(celsius);
}

double TemperatureBandPresenter::bandWidth() const {
    return std::max(enterX() - exitX(), 0.0);
}

double TemperatureBandPresenter::backgroundWidth() const {
    return std::max(trackWidth_ - handleSize_, 0.0);
}

QString TemperatureBandPresenter::exitText() const {
    return temperature(exit_, "°C");
}

QString TemperatureBandPresenter::enterText() const {
    return temperature(enter_, "°C");
}

QString TemperatureBandPresenter::hysteresisText() const {
    return text(L10n::format("%d° hysteresis", NumberText::truncated(enter_ - exit_)));
}

QString TemperatureBandPresenter::lowerText() const {
    return temperature(lower_, "°");
}

QString TemperatureBandPresenter::upperText() const {
    return temperature(upper_, "°");
}

QString TemperatureBandPresenter::exitAccessibleValue() const {
    return degrees(exit_);
}

QString TemperatureBandPresenter::enterAccessibleValue() const {
    return degrees(enter_);
}

double TemperatureBandPresenter::draggedValue(double x) const {
    // usableWidth() is at least 1, so a track narrower than a handle still maps every location.
    const double f = unit((x - handleSize_ / 2) / usableWidth());
    return SettingsBindings::rounded(lower_ + (upper_ - lower_) * f);
}

double TemperatureBandPresenter::draggedExit(double x) const {
    return std::min(draggedValue(x), enter_ - 1);
}

double TemperatureBandPresenter::draggedEnter(double x) const {
    return std::max(draggedValue(x), exit_ + 1);
}

double TemperatureBandPresenter::adjustedExit(bool increment) const {
    return increment ? std::min(exit_ + 1, enter_ - 1) : std::max(exit_ - 1, lower_);
}

double TemperatureBandPresenter::adjustedEnter(bool increment) const {
    return increment ? std::min(enter_ + 1, upper_) : std::max(enter_ - 1, exit_ + 1);
}

}  // namespace ventrella::ui
