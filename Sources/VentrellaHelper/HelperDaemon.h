#pragma once

#include <functional>
#include <memory>

#include "AppLog/AppLog.h"
#include "Platform/XPC/Listener.h"
#include "VentrellaHelper/HelperCommandLine.h"
#include "VentrellaHelper/ListenerDelegate.h"
#include "VentrellaHelper/SMCController.h"

namespace ventrella::helper {

// The controller over the SMC, the marker file, a real 30 s watchdog, the uptime clock and real
// sleeps.
std::shared_ptr<SMCController> makeLiveController(bool shouldRecover);

// Resumes the claimed listener with the delegate and runs runForever (which returns only in
// tests). When the listener cannot resume, the work already queued on the controller (the
// start-up recovery) finishes first, a fault line "listener.resume_failed message=..." is logged,
// and the answer is 1.
int serveOn(platform::xpc::Listener& listener, std::shared_ptr<ListenerDelegate> delegate,
            SMCController& controller, const applog::AppLog::Channel& log,
            const std::function<void()>& runForever);

// The helper's entry as the program runs it: the real bootstrap, marker path and listener.
HelperEntry liveHelperEntry();

}  // namespace ventrella::helper
