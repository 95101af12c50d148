#include "Ventrella/UI/ThermalScale.h"

#include <algorithm>
#include <cmath>

namespace ventrella::ui {

double ThermalScale::fraction(double celsius) {
    if (std::isnan(celsius)) {
        return 0.0;
    }
    return std::clamp((celsius - lowestCelsius) / (highestCelsius - lowestCelsius), 0.0, 1.0);
}

double ThermalScale::position(double width, std::optional<double> celsius) {
    return celsius ? width * fraction(*celsius) : 0.0;
}

double ThermalScale::markerPosition(double width, double thresholdCelsius) {
    return std::max(std::min(width * fraction(thresholdCelsius), width - 2.0), 1.0);
}

}  // namespace ventrella::ui
