// A client of the test service "com.quillmoor.Ventrella.identity", and the attacks on it that
// share a connection between processes or flood the service. Every line it prints is one write.
//
//   client                      prints "ready", asks echo 7 through Platform/XPC, prints
//                               "reply 7", then waits for its input to close
//   fork-connect-exec GENUINE   connects, prints "connected", waits for a line, forks a child
//                               that keeps the socket, execs GENUINE client; once accepted, the
//                               child asks echo 666 on the shared socket and prints
//                               "attack: closed" or "attack: served"
//   send-then-exec GENUINE      connects, prints "connected", waits for a line, asks echo 666,
//                               execs GENUINE client
//   share-after-acceptance      connects, is accepted, asks echo 5 ("own: served"), forks a
//                               child that asks echo 666 on the socket, then asks echo 7 itself
//                               and prints "shared: closed" or "shared: served"
//   connect                     seals itself as a hardened client does, connects and prints
//                               "accepted" or "refused", then waits for its input to close
//   borrow GENUINE              makes a user and a pid namespace of its own (this user as 1000
//                               inside, no root) and starts GENUINE connect in them; once that
//                               connection is accepted, stops the client, copies its socket and
//                               asks echo 666 on it with credentials naming the client; prints
//                               "attack: refused" (the client was refused), "attack: served" or
//                               "attack: closed"
//   flood                       connects over and over without a pause until its input
//                               closes, keeping up to 16 connections open until the service
//                               closes them and closing every other one at once; prints
//                               "flooding" once the first connection is made

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
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

#include "Platform/Security/Code.h"
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

// Waits for the test to let the attack go on (one line of input).
void waitForGo() {
    char byte = 0;
    while (::read(STDIN_FILENO, &byte, 1) == 1 && byte != '\n') {
    }
}

std::string readLine(int fd) {
    std::string line;
    char c = 0;
    while (::read(fd, &c, 1) == 1 && c != '\n') {
        line.push_back(c);
    }
    return line;
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
bool connectToService(int fd) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, serviceSocketPath(kService).c_str(),
                 sizeof(address.sun_path) - 1);
    return ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
}

int rawConnect() {
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
    if (!connectToService(fd)) {
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

void execGenuine(const char* genuine, const char* mode) {
    char* const argv[] = {const_cast<char*>(genuine), const_cast<char*>(mode), nullptr};
    ::execv(genuine, argv);
    ::_exit(3);
}

void execGenuineClient(const char* genuine) {
    execGenuine(genuine, "client");
}

int connectAndWait() {
    (void)platform::security::adoptHardenedRuntime();
    const int fd = rawConnect();
    say(fd >= 0 && receiveFrame(fd) ? "accepted" : "refused");
    waitForInputToClose();
    return 0;
}

int forkConnectExec(const char* genuine) {
    const int fd = rawConnect();
    if (fd < 0) {
        return 2;
    }
    say("connected");
    waitForGo();
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
    if (fd < 0) {
        return 2;
    }
    say("connected");
    waitForGo();
    if (!sendEcho(fd, 666)) {
        return 2;
    }
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

bool writeFile(const char* path, const std::string& text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    const bool written =
        fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (fd >= 0) {
        ::close(fd);
    }
    return written;
}

// A copy of the client's connection, found among its descriptors.
int copyConnection(pid_t client) {
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, client, 0));
    if (pidfd < 0) {
        return -1;
    }
    for (int target = 3; target < 256; ++target) {
        const int fd = static_cast<int>(::syscall(SYS_pidfd_getfd, pidfd, target, 0));
        if (fd < 0) {
            continue;
        }
        int type = 0;
        socklen_t length = sizeof(type);
        if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) == 0 && type == SOCK_SEQPACKET) {
            ::close(pidfd);
            return fd;
        }
        ::close(fd);
    }
    ::close(pidfd);
    return -1;
}

// Sends echo 666 as the client: inside its own pid namespace, with every capability of the user
// namespace that owns it, this process may name any process there.
bool sendAsClient(int fd, pid_t client) {
    const auto frame = encodeFrame(RequestMessage{666, "echo:withReply:", {666}});
    iovec data{const_cast<std::uint8_t*>(frame.data()), frame.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred))] = {};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof(control);
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_CREDENTIALS;
    header->cmsg_len = CMSG_LEN(sizeof(ucred));
    const ucred credentials{client, ::getuid(), ::getgid()};
    std::memcpy(CMSG_DATA(header), &credentials, sizeof(credentials));
    return ::sendmsg(fd, &message, MSG_NOSIGNAL) == static_cast<ssize_t>(frame.size());
}

// Pid 1 of the namespaces: starts the client and borrows its connection once it is accepted.
int borrowInside(const char* genuine) {
    int output[2];
    if (::pipe2(output, O_CLOEXEC) != 0) {
        return 2;
    }
    const pid_t client = ::fork();
    if (client == 0) {
        ::dup2(output[1], STDOUT_FILENO);
        execGenuine(genuine, "connect");
    }
    ::close(output[1]);
    if (readLine(output[0]) != "accepted") {
        say("attack: refused");
        ::kill(client, SIGKILL);
        return 0;
    }
    // Stopped, so that it neither reads the reply nor notices anything.
    ::kill(client, SIGSTOP);
    const int fd = copyConnection(client);
    timeval timeout{ventrella::testsupport::eventDeadline.count(), 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    const bool served = fd >= 0 && sendAsClient(fd, client) && receiveFrame(fd);
    say(served ? "attack: served" : "attack: closed");
    ::kill(client, SIGKILL);
    return 0;
}

int borrow(const char* genuine) {
    const uid_t user = ::getuid();
    const gid_t group = ::getgid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWPID) != 0 ||
        !writeFile("/proc/self/setgroups", "deny") ||
        !writeFile("/proc/self/uid_map", "1000 " + std::to_string(user) + " 1") ||
        !writeFile("/proc/self/gid_map", "1000 " + std::to_string(group) + " 1")) {
        return 2;
    }
    const pid_t inside = ::fork();
    if (inside == 0) {
        ::_exit(borrowInside(genuine));
    }
    int status = 0;
    ::waitpid(inside, &status, 0);
    ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 3);
}

bool inputClosed() {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    return ::poll(&input, 1, 0) == 1;
}

int flood() {
    std::vector<pollfd> held;
    bool announced = false;
    for (unsigned round = 0; !inputClosed(); ++round) {
        const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (!connectToService(fd)) {
            ::close(fd);
            continue;
        }
        if (!announced) {
            say("flooding");
            announced = true;
        }
        if (held.size() < 16) {
            held.push_back(pollfd{fd, POLLIN, 0});
        } else {
            ::close(fd);
        }
        // Those the service has answered (refused, closed) make room for new ones.
        if (round % 64 == 0 && ::poll(held.data(), held.size(), 0) > 0) {
            std::erase_if(held, [](const pollfd& entry) {
                const bool answered = entry.revents != 0;
                if (answered) {
                    ::close(entry.fd);
                }
                return answered;
            });
        }
    }
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
    if (arguments.size() == 1 && arguments[0] == "connect") {
        return connectAndWait();
    }
    if (arguments.size() == 2 && arguments[0] == "borrow") {
        return borrow(argv[2]);
    }
    if (arguments.size() == 1 && arguments[0] == "flood") {
        return flood();
    }
    return 2;
}
