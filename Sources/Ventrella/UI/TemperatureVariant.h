#pragma once

#include <QVariant>
#include <optional>

namespace ventrella::ui {

// A temperature as the views hand it over: a number in °C, or null or undefined without a
// reading.
class TemperatureVariant {
  public:
    TemperatureVariant() = delete;

    // The number; absent for null, undefined or anything that is not a number.
    static std::optional<double> celsius(const QVariant& value);

    // The variant the views read: the number, or an invalid variant (undefined) without one.
    static QVariant variant(std::optional<double> celsius);

    // Whether two readings show alike: NaN never equals itself, yet shows as NaN does.
    static bool same(std::optional<double> a, std::optional<double> b);
};

}  // namespace ventrella::ui
