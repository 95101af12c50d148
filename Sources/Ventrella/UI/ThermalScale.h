#pragma once

#include <optional>

namespace ventrella::ui {

// The fixed 40–110 °C scale of the thermal gauges: where a temperature stands on a track of a
// given width. Positions are in points from the track's left end; the track always runs from
// cool at the left to hot at the right.
class ThermalScale {
  public:
    ThermalScale() = delete;

    static constexpr double lowestCelsius = 40.0;
    static constexpr double highestCelsius = 110.0;

    // (celsius − 40) / 70 within 0…1; a value that is not a number gives 0.
    static double fraction(double celsius);

    // width × fraction, or 0 without a temperature.
    static double position(double width, std::optional<double> celsius);

    // Where a threshold's 2-point marker stands: width × fraction, at most width − 2, then at
    // least 1, so that the marker stays on the track (on a track narrower than 3 points the
    // lower limit wins). The dashboard's gauge centres its marker there; the settings page's
    // threshold bars start theirs there.
    static double markerPosition(double width, double thresholdCelsius);
};

}  // namespace ventrella::ui
