#pragma once

#include <exception>
#include <string>

namespace platform::xpc {

// Failures of the connection layer. The description of each code is fixed.
class XPCError : public std::exception {
  public:
    enum class Code {
        invalidServiceName,     // empty, or characters a socket file name cannot carry
        socketPathTooLong,      // the socket path does not fit a Unix socket address
        listenerSetupFailed,    // the listener's socket could not be created or bound
        serviceInUse,           // a live listener (of this or another process) holds the name
        malformedMessage,       // a frame that cannot be parsed or breaks the protocol
        connectionInvalid,      // the connection was invalidated and cannot be used again
        connectionInterrupted,  // the peer went away; a new message connects again
    };

    explicit XPCError(Code code) : code_(code) {}

    Code code() const { return code_; }
    std::string description() const { return what(); }
    const char* what() const noexcept override;

    friend bool operator==(const XPCError& lhs, const XPCError& rhs) {
        return lhs.code_ == rhs.code_;
    }

  private:
    Code code_;
};

}  // namespace platform::xpc
