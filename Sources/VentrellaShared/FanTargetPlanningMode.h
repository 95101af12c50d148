#pragma once

namespace ventrella::shared {

enum class FanTargetPlanningMode {
    // The fans still run under Apple Automatic and control is being taken: never slow them.
    initialAutomaticAcquisition,
    // The helper already owns manual control and only changes the percentage.
    ownedAdjustment,
};

}  // namespace ventrella::shared
