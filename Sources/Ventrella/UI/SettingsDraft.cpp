#include "Ventrella/UI/SettingsDraft.h"

#include <algorithm>
#include <limits>

#include "Ventrella/UI/SettingsBindings.h"

namespace ventrella::ui {

namespace {

// The draft holds validated settings, whose counts are small; anything else is shown at the
// nearest value an int holds rather than wrapped.
int asInt(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

QString raw(std::string_view value) {
    return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

}  // namespace

SettingsDraft::SettingsDraft(QObject* parent) : QObject(parent) {}

SettingsDraft::SettingsDraft(const core::GuardSettings& settings, QObject* parent)
    : QObject(parent), settings_(settings) {}

template <class Edit>
void SettingsDraft::edit(Edit change) {
    core::GuardSettings edited = settings_;
    change(edited);
    if (!(edited == settings_)) {
        settings_ = edited;
        emit changed();
    }
}

void SettingsDraft::replace(const core::GuardSettings& settings) {
    edit([&](core::GuardSettings& draft) { draft = settings; });
}

QString SettingsDraft::appLanguage() const {
    return raw(core::rawValue(settings_.appLanguage));
}

void SettingsDraft::setAppLanguage(const QString& language) {
    if (const auto value = core::appLanguageFromRawValue(language.toStdString())) {
        edit([&](core::GuardSettings& draft) { draft.appLanguage = *value; });
    }
}

QString SettingsDraft::temperatureSource() const {
    return raw(core::rawValue(settings_.temperatureSource));
}

void SettingsDraft::setTemperatureSource(const QString& source) {
    if (const auto value = core::temperatureSourceFromRawValue(source.toStdString())) {
        edit([&](core::GuardSettings& draft) { draft.temperatureSource = *value; });
    }
}

QString SettingsDraft::temperatureAggregation() const {
    return raw(core::rawValue(settings_.temperatureAggregation));
}

void SettingsDraft::setTemperatureAggregation(const QString& aggregation) {
    if (const auto value = core::temperatureAggregationFromRawValue(aggregation.toStdString())) {
        edit([&](core::GuardSettings& draft) { draft.temperatureAggregation = *value; });
    }
}

void SettingsDraft::setBoostExitBinding(double celsius) {
    edit([&](core::GuardSettings& draft) { SettingsBindings::writeBoostExit(draft, celsius); });
}

void SettingsDraft::setBoostEnterBinding(double celsius) {
    edit([&](core::GuardSettings& draft) { SettingsBindings::writeBoostEnter(draft, celsius); });
}

void SettingsDraft::setEmergencyExitBinding(double celsius) {
    edit([&](core::GuardSettings& draft) { SettingsBindings::writeEmergencyExit(draft, celsius); });
}

void SettingsDraft::setEmergencyEnterBinding(double celsius) {
    edit(
        [&](core::GuardSettings& draft) { SettingsBindings::writeEmergencyEnter(draft, celsius); });
}

int SettingsDraft::boostPercent() const {
    return asInt(settings_.boostPercent);
}

double SettingsDraft::boostPercentBinding() const {
    return static_cast<double>(settings_.boostPercent);
}

void SettingsDraft::setBoostPercentBinding(double percent) {
    edit([&](core::GuardSettings& draft) { SettingsBindings::writeBoostPercent(draft, percent); });
}

int SettingsDraft::boostEnterSamples() const {
    return asInt(settings_.boostEnterSamples);
}

void SettingsDraft::setBoostEnterSamples(int samples) {
    edit([&](core::GuardSettings& draft) { draft.boostEnterSamples = samples; });
}

int SettingsDraft::boostExitSamples() const {
    return asInt(settings_.boostExitSamples);
}

void SettingsDraft::setBoostExitSamples(int samples) {
    edit([&](core::GuardSettings& draft) { draft.boostExitSamples = samples; });
}

void SettingsDraft::setBoostMinimumHoldSeconds(double seconds) {
    edit([&](core::GuardSettings& draft) { draft.boostMinimumHoldSeconds = seconds; });
}

int SettingsDraft::emergencyExitSamples() const {
    return asInt(settings_.emergencyExitSamples);
}

void SettingsDraft::setEmergencyExitSamples(int samples) {
    edit([&](core::GuardSettings& draft) { draft.emergencyExitSamples = samples; });
}

void SettingsDraft::setEmergencyMinimumHoldSeconds(double seconds) {
    edit([&](core::GuardSettings& draft) { draft.emergencyMinimumHoldSeconds = seconds; });
}

int SettingsDraft::pollIntervalBinding() const {
    return asInt(SettingsBindings::pollInterval(settings_));
}

void SettingsDraft::setPollIntervalBinding(int seconds) {
    edit([&](core::GuardSettings& draft) { SettingsBindings::writePollInterval(draft, seconds); });
}

void SettingsDraft::setLaunchAtLogin(bool launch) {
    edit([&](core::GuardSettings& draft) { draft.launchAtLogin = launch; });
}

}  // namespace ventrella::ui
