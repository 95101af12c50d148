#pragma once

namespace ventrella::fan {

// How a fan reached manual mode: its mode key took the value at once, or only after the
// "Ftst" unlock.
enum class FanControlStrategy { direct, ftstUnlock };

}  // namespace ventrella::fan
