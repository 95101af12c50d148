#pragma once

#include <string_view>

namespace ventrella::ui {

// A colour by the part it plays, as the presenters choose it; the palette of the appearance in
// use gives its value (Palette::color).
enum class ColorRole { primary, secondary, green, orange, red, yellow };

// "primary", "secondary", "green", ... (for test messages and logs).
std::string_view colorRoleName(ColorRole role);

}  // namespace ventrella::ui
