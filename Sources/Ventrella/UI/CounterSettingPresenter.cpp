#include "Ventrella/UI/CounterSettingPresenter.h"

#include <algorithm>
#include <cstdint>

#include "Ventrella/Core/L10n.h"

namespace ventrella::ui {

CounterSettingPresenter::CounterSettingPresenter(QObject* parent) : QObject(parent) {}

template <class T>
void CounterSettingPresenter::assign(T& field, const T& value) {
    if (field != value) {
        field = value;
        emit inputChanged();
    }
}

void CounterSettingPresenter::setValue(int value) {
    assign(value_, value);
}

void CounterSettingPresenter::setLower(int lower) {
    assign(lower_, lower);
}

void CounterSettingPresenter::setUpper(int upper) {
    assign(upper_, upper);
}

void CounterSettingPresenter::setUnit(const QString& unit) {
    assign(unit_, unit);
}

void CounterSettingPresenter::setLanguage(const QString& language) {
    assign(language_, language);
}

QString CounterSettingPresenter::valueText() const {
    return QString::fromStdString(core::L10n::format("%d %@", value_, unit_.toStdString()));
}

// Computed in 64 bits, so that a bound at the end of int's range never overflows.
int CounterSettingPresenter::decreased() const {
    return static_cast<int>(std::max<std::int64_t>(std::int64_t{value_} - 1, lower_));
}

int CounterSettingPresenter::increased() const {
    return static_cast<int>(std::min<std::int64_t>(std::int64_t{value_} + 1, upper_));
}

}  // namespace ventrella::ui
