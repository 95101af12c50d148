#include "Ventrella/UI/ColorRole.h"

namespace ventrella::ui {

std::string_view colorRoleName(ColorRole role) {
    switch (role) {
        case ColorRole::primary:
            return "primary";
        case ColorRole::secondary:
            return "secondary";
        case ColorRole::green:
            return "green";
        case ColorRole::orange:
            return "orange";
        case ColorRole::red:
            return "red";
        case ColorRole::yellow:
            return "yellow";
    }
    return "primary";
}

}  // namespace ventrella::ui
