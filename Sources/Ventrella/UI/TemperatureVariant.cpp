#include "Ventrella/UI/TemperatureVariant.h"

#include <cmath>

namespace ventrella::ui {

std::optional<double> TemperatureVariant::celsius(const QVariant& value) {
    const auto type = value.metaType().id();
    if (type == QMetaType::Double || type == QMetaType::Float || type == QMetaType::Int ||
        type == QMetaType::LongLong) {
        bool isNumber = false;
        const double number = value.toDouble(&isNumber);
        if (isNumber) {
            return number;
        }
    }
    return std::nullopt;
}

QVariant TemperatureVariant::variant(std::optional<double> celsius) {
    return celsius ? QVariant(*celsius) : QVariant();
}

bool TemperatureVariant::same(std::optional<double> a, std::optional<double> b) {
    if (a.has_value() != b.has_value()) {
        return false;
    }
    return !a || *a == *b || (std::isnan(*a) && std::isnan(*b));
}

}  // namespace ventrella::ui
