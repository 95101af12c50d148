#pragma once

#include <string>

#include "Ventrella/Core/GuardMode.h"

namespace ventrella::shell {

// What the status item shows, from the model's menu symbol and title and its guard mode.
struct StatusItemState {
    std::string menuSymbol;
    std::string menuTitle;
    core::GuardMode guardMode = core::GuardMode::automatic();

    bool operator==(const StatusItemState&) const = default;
};

// How the glyph is coloured: in the panel's own glyph colour (the "template" look), or in the
// mode's signal colour.
enum class GlyphTint { panel, yellow, red };

struct StatusItemAppearance {
    std::string symbol;
    GlyphTint tint = GlyphTint::panel;
    // One space, then the menu title: the space separates the title from a leading image.
    std::string title;
    // The menu title on the first line and "Ventrella · <mode>" on the second.
    std::string toolTip;
    // "Ventrella, <menu title>, <mode>".
    std::string accessibilityLabel;

    bool operator==(const StatusItemAppearance&) const = default;
};

class StatusItemPresenter {
  public:
    StatusItemPresenter() = delete;

    // Yellow in Boost, red in Emergency, the panel's colour in every other mode. Texts are
    // formatted by L10n in the interface language.
    static StatusItemAppearance appearance(const StatusItemState& state);
};

}  // namespace ventrella::shell
