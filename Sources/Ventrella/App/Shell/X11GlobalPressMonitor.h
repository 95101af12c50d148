#pragma once

#include <QAbstractNativeEventFilter>
#include <cstdint>
#include <functional>
#include <vector>

#include "Ventrella/App/Shell/GlobalPressMonitor.h"

namespace ventrella::shell {

// The global press monitor of an X11 display: XInput 2 raw button presses of the master
// pointers, selected on every root window and read through Qt's native event filter. Raw events
// reach every client that selects them, whichever window the press lands in and whoever grabs
// the pointer, and nobody else loses them. They carry no position; the handler reads the
// pointer's. On any other platform (offscreen, Wayland) start() gives false.
class X11GlobalPressMonitor final : public GlobalPressMonitor, private QAbstractNativeEventFilter {
  public:
    X11GlobalPressMonitor() = default;
    ~X11GlobalPressMonitor() override;

    X11GlobalPressMonitor(const X11GlobalPressMonitor&) = delete;
    X11GlobalPressMonitor& operator=(const X11GlobalPressMonitor&) = delete;

    bool start(std::function<void()> onPress) override;
    void stop() override;

  private:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    // Selects raw presses on every root window, or nothing; false when the server refuses.
    bool select(bool presses);

    std::function<void()> onPress_;
    std::uint8_t inputOpcode_ = 0;
    bool running_ = false;
};

}  // namespace ventrella::shell
