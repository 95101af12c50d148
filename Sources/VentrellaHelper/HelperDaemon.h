#pragma once

#include <memory>

#include "VentrellaHelper/HelperCommandLine.h"
#include "VentrellaHelper/SMCController.h"

namespace ventrella::helper {

// The controller over the SMC, the marker file, a real 30 s watchdog, the uptime clock and real
// sleeps.
std::shared_ptr<SMCController> makeLiveController(bool shouldRecover);

// The helper's entry as the program runs it: the real bootstrap, marker path and listener.
HelperEntry liveHelperEntry();

}  // namespace ventrella::helper
