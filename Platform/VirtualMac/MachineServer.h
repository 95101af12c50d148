#pragma once

#include <asio.hpp>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Platform/VirtualMac/ConnectionShares.h"
#include "Platform/VirtualMac/IOKitSocketServer.h"
#include "Platform/VirtualMac/MachineAccess.h"
#include "Platform/VirtualMac/MachineControl.h"
#include "Platform/VirtualMac/SimulatedWorkspace.h"
#include "Platform/VirtualMac/UnixSocketAcceptor.h"
#include "Platform/VirtualMac/VirtualMachine.h"

namespace virtualmac {

struct MachineServerOptions {
    // Where the sockets live: "/var/run/virtual-mac" of the platform root.
    std::filesystem::path runDirectory;
    double speed = 1.0;        // simulated seconds per real second
    double tickSeconds = 0.1;  // real time between two steps of the thermal model
    // The real time the steps are measured by.
    std::function<std::chrono::steady_clock::time_point()> clock = [] {
        return std::chrono::steady_clock::now();
    };
    // Where a step that failed is reported, one line without its newline; standard error
    // when empty.
    std::function<void(const std::string&)> log = nullptr;
};

// Runs one machine as a process: serves its devices on "iokit.sock", its control interface
// on "control.sock" (one JSON object per line each way), its workspace on "workspace.sock"
// and steps its thermal model on a timer, all on one thread. The sockets exist once the
// constructor returns; every user may connect to them, and a control request the peer may not
// make is refused (MachineAccess.h).
class MachineServer {
  public:
    using Reply = std::function<void(const nlohmann::ordered_json&)>;
    // Answers the commands of a part of the machine that may answer later (a script it runs):
    // true when it took the request, and then calls `reply` once.
    using DeferredExtension = std::function<bool(
        const std::string& command, const nlohmann::json& request, const Reply& reply)>;

    MachineServer(VirtualMachine& machine, MachineServerOptions options);
    ~MachineServer();
    MachineServer(const MachineServer&) = delete;
    MachineServer& operator=(const MachineServer&) = delete;

    // Most control connections a user other than root may hold open at once.
    static constexpr std::size_t kControlConnectionsPerUser = 32;

    static std::filesystem::path controlSocketPath(const std::filesystem::path& runDirectory);

    // Serves until a "stop" request, SIGINT/SIGTERM or requestStop().
    void run();
    // Safe from any thread.
    void requestStop();

    // For adding extensions before run().
    MachineControl& control() { return control_; }
    void addDeferredExtension(DeferredExtension extension) {
        deferredExtensions_.push_back(std::move(extension));
    }
    asio::io_context& context() { return context_; }

  private:
    class ControlSession;
    void serveControl(asio::local::stream_protocol::socket socket);
    // Answers one control request line of a peer through `reply`, at once or (sleep, a script)
    // later.
    void respond(const std::string& line, const ControlPeer& peer, const Reply& reply);
    void scheduleTick();
    // Steps the machine by the time passed since the last step; a failure is logged.
    void step();
    void log(const std::string& line) const;
    // log(), for the sockets to report through.
    UnixSocketAcceptor::Log logLine();
    void shutdown();

    VirtualMachine& machine_;
    MachineServerOptions options_;
    asio::io_context context_;
    IOKitSocketServer iokit_;
    SimulatedWorkspace workspace_;
    ConnectionShares controlShares_{kControlConnectionsPerUser};
    asio::steady_timer tickTimer_;
    asio::signal_set signals_;
    std::chrono::steady_clock::time_point lastTick_;
    MachineControl control_;
    std::vector<DeferredExtension> deferredExtensions_;
    bool stopAfterReply_ = false;
    bool stopped_ = false;
    // Last: it hands connections to what is above.
    UnixSocketAcceptor controlAcceptor_;
};

}  // namespace virtualmac
