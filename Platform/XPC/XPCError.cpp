#include "Platform/XPC/XPCError.h"

namespace platform::xpc {

const char* XPCError::what() const noexcept {
    switch (code_) {
        case Code::invalidServiceName:
            return "The service name is not valid.";
        case Code::socketPathTooLong:
            return "The service's socket path is too long.";
        case Code::listenerSetupFailed:
            return "The listener could not be set up.";
        case Code::serviceInUse:
            return "Another listener already serves this name.";
        case Code::malformedMessage:
            return "A malformed message was received.";
        case Code::connectionInvalid:
            return "The connection was invalidated.";
        case Code::connectionInterrupted:
            return "The connection was interrupted.";
    }
    return "Unknown connection error.";
}

}  // namespace platform::xpc
