#pragma once

#include <asio.hpp>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>

#include "Platform/VirtualMac/ConnectionShares.h"
#include "Platform/VirtualMac/UnixSocketAcceptor.h"
#include "Platform/Workspace/ThermalState.h"

namespace virtualmac {

// What the machine offers applications beside its devices: the process thermal state, the
// user's accessibility display options (reduce motion), the workspace's will-sleep and did-wake
// notifications, and the settings pane applications may open. Applications connect to its
// socket (WorkspaceProtocol.h); each connection is one observer. The control interface sets the
// thermal state and the display options and sends the machine to sleep and wakes it.
//
// Going to sleep works like a sleep delay: every observer is sent will-sleep, and the machine
// sleeps once each has acknowledged it or gone away, or when the wait bound has passed,
// whichever comes first. Runs on the io_context's thread.
class SimulatedWorkspace {
  public:
    static constexpr double kSleepWaitSeconds = 5.0;
    // Most observers at once, and of one user other than root; further connections are closed
    // at once.
    static constexpr std::size_t kMaximumObservers = 64;
    static constexpr std::size_t kObserversPerUser = 16;

    using Reply = std::function<void(nlohmann::ordered_json)>;

    // Binds `socketPath` (replacing a stale file) and starts accepting. `log` learns when
    // connections cannot be accepted for a while.
    SimulatedWorkspace(asio::io_context& context, const std::filesystem::path& socketPath,
                       double sleepWaitSeconds = kSleepWaitSeconds,
                       UnixSocketAcceptor::Log log = nullptr);
    ~SimulatedWorkspace();
    SimulatedWorkspace(const SimulatedWorkspace&) = delete;
    SimulatedWorkspace& operator=(const SimulatedWorkspace&) = delete;

    // True for the control requests carried out here: "thermal-state" ("state"),
    // "accessibility" ("reduceMotion", a Boolean), "sleep", "wake".
    static bool handles(const nlohmann::json& request);

    // Carries out one of those requests and calls `reply` once with {"ok": true, ...} or
    // {"ok": false, "error": ...}: at once, except for "sleep", which answers when the machine
    // sleeps, with "observers", "acknowledged", "disconnected", "unacknowledged" and
    // "waitedSeconds".
    void handle(const nlohmann::json& request, Reply reply);

    // "thermalState", "reduceMotion", "power" ("awake", "going-to-sleep", "asleep"),
    // "observers", "sleeps", "wakes" and "loginItemsPaneOpened" (how often an application
    // opened it).
    nlohmann::ordered_json statusJSON() const;

    // Stops accepting and ends every connection; a sleep under way never answers.
    void close();

  private:
    class Session;
    enum class Power { awake, goingToSleep, asleep };

    struct SleepRound {
        std::uint64_t id = 0;
        std::set<std::uint64_t> waiting;  // sessions yet to answer
        std::size_t observers = 0;
        std::size_t acknowledged = 0;
        std::size_t disconnected = 0;
        std::chrono::steady_clock::time_point started;
        Reply reply;
    };

    void serve(asio::local::stream_protocol::socket socket);
    void broadcast(const std::string& line);
    void setThermalState(const nlohmann::json& request, const Reply& reply);
    void setAccessibility(const nlohmann::json& request, const Reply& reply);
    std::string accessibilityLine() const;
    void sleep(Reply reply);
    void wake(const Reply& reply);
    void finishSleep();
    void acknowledged(std::uint64_t session, std::uint64_t id);
    void sessionEnded(std::uint64_t session);
    void openedLoginItems() { ++loginItemsPaneOpened_; }

    asio::steady_timer sleepTimer_;
    double sleepWaitSeconds_;
    std::map<std::uint64_t, std::shared_ptr<Session>> sessions_;
    ConnectionShares shares_{kObserversPerUser};
    std::uint64_t nextSession_ = 1;
    std::uint64_t nextEvent_ = 1;
    platform::workspace::ThermalState thermalState_ = platform::workspace::ThermalState::nominal;
    bool reduceMotion_ = false;
    Power power_ = Power::awake;
    std::optional<SleepRound> sleep_;
    std::uint64_t sleeps_ = 0;
    std::uint64_t wakes_ = 0;
    std::uint64_t loginItemsPaneOpened_ = 0;
    bool closed_ = false;
    // Last: it hands connections to what is above.
    UnixSocketAcceptor acceptor_;
};

}  // namespace virtualmac
