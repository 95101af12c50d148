#pragma once

namespace platform::dispatch {

// Parks the calling (main) thread for the life of the process. A daemon's work
// runs on its queues and listener threads; the main thread only has to stay.
[[noreturn]] void runMain();

}  // namespace platform::dispatch
