#pragma once

#include <functional>

namespace ventrella::shell {

// Watches the pointer presses of the whole display, also those sent to other applications,
// while it runs. Everything runs on the GUI thread.
class GlobalPressMonitor {
  public:
    virtual ~GlobalPressMonitor() = default;

    // Calls `onPress` for every left or right press until stop(), wherever it lands (in this
    // application's windows too). False, with nothing watched, when the display offers no such
    // watch. Starting again replaces the handler.
    virtual bool start(std::function<void()> onPress) = 0;
    // No call of the handler follows. Stopping what does not run does nothing.
    virtual void stop() = 0;
};

}  // namespace ventrella::shell
