#include "Platform/XPC/Signals.h"

#include <csignal>

namespace platform::xpc {

void ignoreSIGPIPE() {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGPIPE, &action, nullptr);
}

}  // namespace platform::xpc
