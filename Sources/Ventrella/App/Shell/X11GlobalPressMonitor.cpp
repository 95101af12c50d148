#include "Ventrella/App/Shell/X11GlobalPressMonitor.h"

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdlib>

namespace ventrella::shell {

namespace {

xcb_connection_t* displayConnection() {
    auto* application = qGuiApp;
    auto* x11 = application != nullptr
                    ? application->nativeInterface<QNativeInterface::QX11Application>()
                    : nullptr;
    return x11 != nullptr ? x11->connection() : nullptr;
}

}  // namespace

X11GlobalPressMonitor::~X11GlobalPressMonitor() {
    stop();
}

bool X11GlobalPressMonitor::start(std::function<void()> onPress) {
    onPress_ = std::move(onPress);
    if (running_) {
        return true;
    }
    xcb_connection_t* connection = displayConnection();
    if (connection == nullptr) {
        return false;
    }
    const xcb_query_extension_reply_t* input = xcb_get_extension_data(connection, &xcb_input_id);
    if (input == nullptr || input->present == 0) {
        return false;
    }
    inputOpcode_ = input->major_opcode;
    if (!select(true)) {
        select(false);
        return false;
    }
    QCoreApplication::instance()->installNativeEventFilter(this);
    running_ = true;
    return true;
}

void X11GlobalPressMonitor::stop() {
    if (!running_) {
        return;
    }
    running_ = false;
    if (auto* application = QCoreApplication::instance()) {
        application->removeNativeEventFilter(this);
    }
    select(false);
}

bool X11GlobalPressMonitor::select(bool presses) {
    xcb_connection_t* connection = displayConnection();
    if (connection == nullptr) {
        return false;
    }
    // One mask for all master devices: each press arrives once, not again from its slave.
    struct {
        xcb_input_event_mask_t header;
        std::uint32_t bits;
    } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
           presses ? std::uint32_t(XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS) : 0U};
    bool selected = true;
    for (auto roots = xcb_setup_roots_iterator(xcb_get_setup(connection)); roots.rem != 0;
         xcb_screen_next(&roots)) {
        const xcb_void_cookie_t cookie =
            xcb_input_xi_select_events_checked(connection, roots.data->root, 1, &mask.header);
        if (xcb_generic_error_t* error = xcb_request_check(connection, cookie)) {
            std::free(error);
            selected = false;
        }
    }
    return selected;
}

bool X11GlobalPressMonitor::nativeEventFilter(const QByteArray& eventType, void* message,
                                              qintptr*) {
    if (!running_ || eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_GE_GENERIC) {
        return false;
    }
    const auto* generic = static_cast<const xcb_ge_generic_event_t*>(message);
    if (generic->extension != inputOpcode_ || generic->event_type != XCB_INPUT_RAW_BUTTON_PRESS) {
        return false;
    }
    // Buttons 1 and 3: left and right, whichever way round the user's mapping has them; 4 to 7
    // are the wheel's steps.
    const auto* press = static_cast<const xcb_input_raw_button_press_event_t*>(message);
    if (press->detail == 1 || press->detail == 3) {
        const auto handler = onPress_;
        if (handler) {
            handler();
        }
    }
    return true;
}

}  // namespace ventrella::shell
