#pragma once

namespace ventrella::apphardware {

// How an installation of the helper ended.
enum class InstallationOutcome {
    installed,
    // The daemon is registered, but the user must still allow it in the system settings.
    requiresApproval,
};

}  // namespace ventrella::apphardware
