// A client of the test service "com.quillmoor.Ventrella.identity", and the attacks on it that
// share a connection between processes. Every line it prints is one write.
//
//   client                      prints "ready", asks echo 7 through Platform/XPC, prints
//                               "reply 7", then waits for its input to close
//   fork-connect-exec GENUINE   connects, prints "connected" and waits for a line, forks a
//                               child that keeps the socket, execs GENUINE client; once
//                               accepted, the child asks echo 666 on the shared socket and
//                               prints "attack: closed" or "attack: served"
//   send-then-exec GENUINE      connects, asks echo 666 at once, prints "connected" and waits
//                               for a line, execs GENUINE client
//   share-after-acceptance      connects, is accepted, asks echo 5 ("own: served"), forks a
//                               child that asks echo 666 on the socket, then asks echo 7 itself
//                               and prints "shared: closed" or "shared: served"

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "Platform/XPC/Connection.h"
#include "Platform/XPC/Frame.h"
#include "Platform/XPC/ServiceSocketPath.h"
#include "Support/Eventually.h"

namespace {

using namespace platform::xpc;

const std::string kService = "com.quillmoor.Ventrella.identity";

void say(const std::string& line) {
    const std::string text = line + "\n";
    (void)!::write(STDOUT_FILENO, text.data(), text.size());
}

void waitForInputToClose() {
    char byte = 0;
    while (::read(STDIN_FILENO, &byte, 1) > 0) {
    }
}

// Says that its connection is made and waits for the test's line to go on, so that the listener
// meets that connection before the one the exec'd client makes.
void connectedThenWait() {
    say("connected");
    char byte = 0;
    while (::read(STDIN_FILENO, &byte, 1) > 0 && byte != '\n') {
    }
}

int client() {
    say("ready");
    auto connection = Connection::connectToService(kService);
    connection->setRemoteObjectInterface({{"echo:withReply:", 1}});
    connection->resume();
    auto outcome = std::make_shared<std::promise<std::string>>();
    auto settle = [outcome](std::string text) {
        try {
            outcome->set_value(std::move(text));
        } catch (const std::future_error&) {
        }
    };
    connection
        ->remoteObjectProxyWithErrorHandler(
            [settle](const XPCError& error) { settle(std::string("error ") + error.what()); })
        .send("echo:withReply:", {7}, [settle](ReplyData data) {
            settle("reply " + std::string(data.begin(), data.end()));
        });
    auto future = outcome->get_future();
    say(future.wait_for(ventrella::testsupport::eventDeadline) == std::future_status::ready
            ? future.get()
            : "timeout");
    waitForInputToClose();
    connection->invalidate();
    return 0;
}

// A socket to the service, without close-on-exec, so that an exec'd image inherits it.
int rawConnect() {
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, serviceSocketPath(kService).c_str(),
                 sizeof(address.sun_path) - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        return -1;
    }
    timeval timeout{ventrella::testsupport::eventDeadline.count(), 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    return fd;
}

bool sendEcho(int fd, std::int64_t value) {
    const auto frame =
        encodeFrame(RequestMessage{static_cast<std::uint64_t>(value), "echo:withReply:", {value}});
    return ::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(frame.size());
}

// True when the next record is a frame (the acceptance or a reply), false when the connection
// closed or nothing came.
bool receiveFrame(int fd) {
    std::uint8_t buffer[kMaximumRecordSize];
    return ::recv(fd, buffer, sizeof(buffer), 0) > 0;
}

void execGenuineClient(const char* genuine) {
    char* const argv[] = {const_cast<char*>(genuine), const_cast<char*>("client"), nullptr};
    ::execv(genuine, argv);
    ::_exit(3);
}

int forkConnectExec(const char* genuine) {
    const int fd = rawConnect();
    if (fd < 0) {
        return 2;
    }
    connectedThenWait();
    if (::fork() == 0) {
        if (!receiveFrame(fd)) {
            say("attack: refused");
            ::_exit(0);
        }
        const bool served = sendEcho(fd, 666) && receiveFrame(fd);
        say(served ? "attack: served" : "attack: closed");
        ::_exit(0);
    }
    execGenuineClient(genuine);
    return 3;
}

int sendThenExec(const char* genuine) {
    const int fd = rawConnect();
    if (fd < 0 || !sendEcho(fd, 666)) {
        return 2;
    }
    connectedThenWait();
    execGenuineClient(genuine);
    return 3;
}

int shareAfterAcceptance() {
    const int fd = rawConnect();
    if (fd < 0 || !receiveFrame(fd)) {
        return 2;
    }
    say(sendEcho(fd, 5) && receiveFrame(fd) ? "own: served" : "own: closed");
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(sendEcho(fd, 666) ? 0 : 1);
    }
    ::waitpid(child, nullptr, 0);
    say(sendEcho(fd, 7) && receiveFrame(fd) ? "shared: served" : "shared: closed");
    waitForInputToClose();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() == 1 && arguments[0] == "client") {
        return client();
    }
    if (arguments.size() == 2 && arguments[0] == "fork-connect-exec") {
        return forkConnectExec(argv[2]);
    }
    if (arguments.size() == 2 && arguments[0] == "send-then-exec") {
        return sendThenExec(argv[2]);
    }
    if (arguments.size() == 1 && arguments[0] == "share-after-acceptance") {
        return shareAfterAcceptance();
    }
    return 2;
}
