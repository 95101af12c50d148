#include "Ventrella/UI/DurationSettingPresenter.h"

#include <algorithm>
#include <cmath>

#include "Ventrella/UI/DurationText.h"
#include "Ventrella/UI/NumberText.h"
#include "Ventrella/UI/SettingsBindings.h"

namespace ventrella::ui {

DurationSettingPresenter::DurationSettingPresenter(QObject* parent) : QObject(parent) {}

template <class T>
void DurationSettingPresenter::assign(T& field, const T& value) {
    if (field != value) {
        field = value;
        emit inputChanged();
    }
}

void DurationSettingPresenter::setSeconds(double seconds) {
    assign(seconds_, seconds);
}

void DurationSettingPresenter::setPresets(const QList<double>& presets) {
    assign(presets_, presets);
}

void DurationSettingPresenter::setLanguage(const QString& language) {
    assign(language_, language);
}

double DurationSettingPresenter::presetIndex() const {
    qsizetype nearest = 0;
    for (qsizetype index = 1; index < presets_.size(); ++index) {
        // Strictly nearer only: of two equally near presets the first stays.
        if (std::abs(presets_[index] - seconds_) < std::abs(presets_[nearest] - seconds_)) {
            nearest = index;
        }
    }
    return static_cast<double>(nearest);
}

int DurationSettingPresenter::lastIndex() const {
    return static_cast<int>(std::max<qsizetype>(presets_.size() - 1, 0));
}

QString DurationSettingPresenter::formattedDuration() const {
    return QString::fromStdString(
        DurationText::text(NumberText::truncated(SettingsBindings::rounded(seconds_))));
}

double DurationSettingPresenter::secondsAt(double position) const {
    if (presets_.isEmpty()) {
        return seconds_;
    }
    const double index = std::isnan(position) ? 0.0 : SettingsBindings::rounded(position);
    const double last = static_cast<double>(presets_.size() - 1);
    return presets_[static_cast<qsizetype>(std::clamp(index, 0.0, last))];
}

}  // namespace ventrella::ui
