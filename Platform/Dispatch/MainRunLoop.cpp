#include "Platform/Dispatch/MainRunLoop.h"

#include <unistd.h>

namespace platform::dispatch {

void runMain() {
    for (;;) {
        // Returns only when a signal handler ran; keep waiting.
        ::pause();
    }
}

}  // namespace platform::dispatch
