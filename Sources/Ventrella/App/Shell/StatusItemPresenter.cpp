#include "Ventrella/App/Shell/StatusItemPresenter.h"

#include "Ventrella/Core/L10n.h"

namespace ventrella::shell {

StatusItemAppearance StatusItemPresenter::appearance(const StatusItemState& state) {
    using core::GuardMode;
    using core::L10n;
    StatusItemAppearance appearance;
    appearance.symbol = state.menuSymbol;
    switch (state.guardMode.kind()) {
        case GuardMode::Kind::boost:
            appearance.tint = GlyphTint::yellow;
            break;
        case GuardMode::Kind::emergency:
            appearance.tint = GlyphTint::red;
            break;
        case GuardMode::Kind::automatic:
        case GuardMode::Kind::externalManual:
        case GuardMode::Kind::fault:
            appearance.tint = GlyphTint::panel;
            break;
    }
    const std::string mode = state.guardMode.title();
    appearance.title = " " + state.menuTitle;
    // A tool tip has no image before it: the title goes in without the separating space.
    appearance.toolTip = state.menuTitle + "\n" + L10n::format("Ventrella · %@", mode);
    appearance.accessibilityLabel = L10n::format("Ventrella, %@, %@", state.menuTitle, mode);
    return appearance;
}

}  // namespace ventrella::shell
