#pragma once

namespace platform::xpc {

// Writing to a socket whose peer has gone away must fail the write, not end the
// process. Idempotent; the listener and connections call it when created.
void ignoreSIGPIPE();

}  // namespace platform::xpc
