#include "Ventrella/UI/DurationText.h"

#include "Ventrella/Core/L10n.h"

namespace ventrella::ui {

std::string DurationText::text(std::int64_t seconds) {
    using core::L10n;
    if (seconds > 59) {
        const std::int64_t minutes = seconds / 60;
        const std::int64_t rest = seconds - 60 * minutes;
        return rest != 0 ? L10n::format("%d min %d sec", minutes, rest)
                         : L10n::format("%d min", minutes);
    }
    return L10n::format("%d sec", seconds);
}

}  // namespace ventrella::ui
