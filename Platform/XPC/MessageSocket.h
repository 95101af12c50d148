#pragma once

#include "Platform/XPC/PeerProcess.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace platform::xpc {

// Record input and output on a connected, non-blocking SOCK_SEQPACKET Unix socket
// whose every received record carries its sender's credentials.

// A new non-blocking, close-on-exec SOCK_SEQPACKET Unix socket that asks for the
// sender's credentials with every record (and for a pidfd of the sender where
// the kernel has that); -1 with errno on failure.
int openMessageSocket();

// Asks for credentials with every record on an existing socket (a listening
// socket passes this on to the connections it accepts).
bool requestSenderCredentials(int socketDescriptor);

// One received record. Owns the sender's pidfd, if the kernel attached one.
struct ReceivedRecord {
    enum class Outcome {
        record,      // size bytes arrived, from sender
        wouldBlock,  // nothing to read now
        closed,      // the peer closed the connection
        failed,      // the socket failed
        violation,   // empty, without credentials, carrying descriptors, or too long
    };
    Outcome outcome = Outcome::failed;
    std::size_t size = 0;
    SenderCredentials sender;

    ReceivedRecord() = default;
    ReceivedRecord(ReceivedRecord&& other) noexcept;
    ReceivedRecord& operator=(ReceivedRecord&&) = delete;
    ReceivedRecord(const ReceivedRecord&) = delete;
    ReceivedRecord& operator=(const ReceivedRecord&) = delete;
    ~ReceivedRecord();
};

// Reads one record into buffer. Every descriptor a peer sends is closed at once
// (and makes the record a violation).
ReceivedRecord receiveRecord(int socketDescriptor, std::span<std::uint8_t> buffer);

enum class SendOutcome { sent, wouldBlock, failed };

// Sends bytes (at most kMaximumRecordSize) as one record, never raising SIGPIPE.
SendOutcome sendRecord(int socketDescriptor, std::span<const std::uint8_t> bytes);

// True when at least one byte (or the end of the stream) is waiting to be read.
bool hasPendingInput(int socketDescriptor);

}  // namespace platform::xpc
