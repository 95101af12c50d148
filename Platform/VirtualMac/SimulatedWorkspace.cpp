#include "Platform/VirtualMac/SimulatedWorkspace.h"

#include <deque>
#include <istream>
#include <string>
#include <system_error>

#include "Platform/VirtualMac/UnixSocketAcceptor.h"
#include "Platform/Workspace/WorkspaceProtocol.h"

namespace virtualmac {

namespace {

using nlohmann::json;
using nlohmann::ordered_json;
using platform::workspace::WorkspaceCommand;
using platform::workspace::WorkspaceEvent;

// Messages waiting for an observer that does not read; more and it is dropped.
constexpr std::size_t kMaximumOutbox = 64;

ordered_json failure(const std::string& error) {
    return {{"ok", false}, {"error", error}};
}

std::string commandOf(const json& request) {
    if (!request.is_object()) {
        return {};
    }
    const auto found = request.find("command");
    return found != request.end() && found->is_string() ? found->get<std::string>() : std::string();
}

}  // namespace

// One connected application. Calls back into the workspace only while it is open: the
// workspace ends every session before it goes.
class SimulatedWorkspace::Session : public std::enable_shared_from_this<Session> {
  public:
    Session(SimulatedWorkspace& workspace, asio::local::stream_protocol::socket socket,
            std::uint64_t id, ConnectionShares::Share share)
        : share_(std::move(share)),
          workspace_(workspace),
          socket_(std::move(socket)),
          id_(id),
          buffer_(platform::workspace::kMaximumWorkspaceLine) {}

    void start() { readLine(); }

    void send(std::string line) {
        if (!open_) {
            return;
        }
        if (outbox_.size() >= kMaximumOutbox) {
            end();
            return;
        }
        outbox_.push_back(std::move(line));
        if (outbox_.size() == 1) {
            writeNext();
        }
    }

    // Closes the connection; the workspace learns it unless it is closing itself.
    void end(bool tellWorkspace = true) {
        if (!open_) {
            return;
        }
        open_ = false;
        std::error_code ignored;
        socket_.close(ignored);
        if (tellWorkspace) {
            workspace_.sessionEnded(id_);  // may release the last owner of this session
        }
    }

  private:
    void readLine() {
        asio::async_read_until(
            socket_, buffer_, '\n',
            [self = shared_from_this()](std::error_code error, std::size_t) {
                if (!self->open_) {
                    return;
                }
                if (error) {
                    self->end();  // closed, or a line over the cap
                    return;
                }
                std::istream stream(&self->buffer_);
                std::string line;
                std::getline(stream, line);
                const auto command = platform::workspace::decodeWorkspaceCommand(line);
                if (!command) {
                    self->end();  // a peer that breaks the protocol loses its connection
                    return;
                }
                if (command->kind == WorkspaceCommand::Kind::acknowledge) {
                    self->workspace_.acknowledged(self->id_, command->id);
                } else {
                    self->workspace_.openedLoginItems();
                }
                if (self->open_) {
                    self->readLine();
                }
            });
    }

    void writeNext() {
        asio::async_write(socket_, asio::buffer(outbox_.front()),
                          [self = shared_from_this()](std::error_code error, std::size_t) {
                              if (!self->open_) {
                                  return;
                              }
                              if (error) {
                                  self->end();
                                  return;
                              }
                              self->outbox_.pop_front();
                              if (!self->outbox_.empty()) {
                                  self->writeNext();
                              }
                          });
    }

    ConnectionShares::Share share_;
    SimulatedWorkspace& workspace_;
    asio::local::stream_protocol::socket socket_;
    std::uint64_t id_;
    asio::streambuf buffer_;
    std::deque<std::string> outbox_;
    bool open_ = true;
};

SimulatedWorkspace::SimulatedWorkspace(asio::io_context& context,
                                       const std::filesystem::path& socketPath,
                                       double sleepWaitSeconds, UnixSocketAcceptor::Log log)
    : sleepTimer_(context),
      sleepWaitSeconds_(sleepWaitSeconds),
      acceptor_(
          context, socketPath,
          [this](asio::local::stream_protocol::socket socket) { serve(std::move(socket)); },
          std::move(log)) {}

SimulatedWorkspace::~SimulatedWorkspace() {
    close();
}

bool SimulatedWorkspace::handles(const json& request) {
    const std::string command = commandOf(request);
    return command == "thermal-state" || command == "accessibility" || command == "sleep" ||
           command == "wake";
}

void SimulatedWorkspace::handle(const json& request, Reply reply) {
    const std::string command = commandOf(request);
    if (command == "thermal-state") {
        setThermalState(request, reply);
    } else if (command == "accessibility") {
        setAccessibility(request, reply);
    } else if (command == "sleep") {
        sleep(std::move(reply));
    } else if (command == "wake") {
        wake(reply);
    } else {
        reply(failure("unknown command \"" + command + "\""));
    }
}

ordered_json SimulatedWorkspace::statusJSON() const {
    const char* power = power_ == Power::awake          ? "awake"
                        : power_ == Power::goingToSleep ? "going-to-sleep"
                                                        : "asleep";
    return {{"thermalState", platform::workspace::thermalStateName(thermalState_)},
            {"reduceMotion", reduceMotion_},
            {"power", power},
            {"observers", sessions_.size()},
            {"sleeps", sleeps_},
            {"wakes", wakes_},
            {"loginItemsPaneOpened", loginItemsPaneOpened_}};
}

void SimulatedWorkspace::close() {
    if (closed_) {
        return;
    }
    closed_ = true;
    sleepTimer_.cancel();
    acceptor_.close();
    auto sessions = std::move(sessions_);
    sessions_.clear();
    for (auto& [id, session] : sessions) {
        session->end(false);
    }
    sleep_.reset();
}

void SimulatedWorkspace::serve(asio::local::stream_protocol::socket socket) {
    auto share =
        sessions_.size() < kMaximumObservers ? shares_.take(socket.native_handle()) : nullptr;
    if (!share) {
        return;
    }
    const std::uint64_t id = nextSession_++;
    auto session = std::make_shared<Session>(*this, std::move(socket), id, std::move(share));
    sessions_.emplace(id, session);
    session->start();
    session->send(platform::workspace::encodeWorkspaceEvent(
        {WorkspaceEvent::Kind::thermalState, thermalState_, 0}));
    session->send(accessibilityLine());
}

void SimulatedWorkspace::broadcast(const std::string& line) {
    // A session that ends while sending leaves the table: walk a copy.
    const auto sessions = sessions_;
    for (const auto& [id, session] : sessions) {
        session->send(line);
    }
}

void SimulatedWorkspace::setThermalState(const json& request, const Reply& reply) {
    const auto found = request.find("state");
    const auto state = found != request.end() && found->is_string()
                           ? platform::workspace::thermalStateNamed(found->get<std::string>())
                           : std::nullopt;
    if (!state) {
        reply(failure("\"state\" must be nominal, fair, serious or critical"));
        return;
    }
    thermalState_ = *state;
    broadcast(platform::workspace::encodeWorkspaceEvent(
        {WorkspaceEvent::Kind::thermalState, thermalState_, 0}));
    reply({{"ok", true}});
}

std::string SimulatedWorkspace::accessibilityLine() const {
    WorkspaceEvent event{WorkspaceEvent::Kind::accessibility,
                         platform::workspace::ThermalState::nominal, 0};
    event.reduceMotion = reduceMotion_;
    return platform::workspace::encodeWorkspaceEvent(event);
}

void SimulatedWorkspace::setAccessibility(const json& request, const Reply& reply) {
    const auto found = request.find("reduceMotion");
    if (found == request.end() || !found->is_boolean()) {
        reply(failure("\"reduceMotion\" must be true or false"));
        return;
    }
    reduceMotion_ = found->get<bool>();
    broadcast(accessibilityLine());
    reply({{"ok", true}});
}

void SimulatedWorkspace::sleep(Reply reply) {
    if (power_ == Power::asleep) {
        reply(failure("the machine is already asleep"));
        return;
    }
    if (power_ == Power::goingToSleep) {
        reply(failure("the machine is already going to sleep"));
        return;
    }
    power_ = Power::goingToSleep;
    SleepRound round;
    round.id = nextEvent_++;
    round.observers = sessions_.size();
    round.started = std::chrono::steady_clock::now();
    round.reply = std::move(reply);
    for (const auto& [id, session] : sessions_) {
        round.waiting.insert(id);
    }
    sleep_ = std::move(round);
    broadcast(platform::workspace::encodeWorkspaceEvent(
        {WorkspaceEvent::Kind::willSleep, platform::workspace::ThermalState::nominal, sleep_->id}));
    if (!sleep_ || sleep_->waiting.empty()) {
        if (sleep_) {
            finishSleep();
        }
        return;
    }
    sleepTimer_.expires_after(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(sleepWaitSeconds_)));
    sleepTimer_.async_wait([this, id = sleep_->id](std::error_code error) {
        // A timer that fired just as the round ended must not end a later one.
        if (!error && sleep_ && sleep_->id == id) {
            finishSleep();
        }
    });
}

void SimulatedWorkspace::finishSleep() {
    SleepRound round = std::move(*sleep_);
    sleep_.reset();
    sleepTimer_.cancel();
    power_ = Power::asleep;
    ++sleeps_;
    const double waited =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - round.started).count();
    round.reply({{"ok", true},
                 {"observers", round.observers},
                 {"acknowledged", round.acknowledged},
                 {"disconnected", round.disconnected},
                 {"unacknowledged", round.waiting.size()},
                 {"waitedSeconds", waited}});
}

void SimulatedWorkspace::acknowledged(std::uint64_t session, std::uint64_t id) {
    // A late answer to an earlier round is simply ignored.
    if (!sleep_ || sleep_->id != id || sleep_->waiting.erase(session) == 0) {
        return;
    }
    ++sleep_->acknowledged;
    if (sleep_->waiting.empty()) {
        finishSleep();
    }
}

void SimulatedWorkspace::sessionEnded(std::uint64_t session) {
    sessions_.erase(session);
    if (sleep_ && sleep_->waiting.erase(session) > 0) {
        ++sleep_->disconnected;
        if (sleep_->waiting.empty()) {
            finishSleep();
        }
    }
}

void SimulatedWorkspace::wake(const Reply& reply) {
    if (power_ == Power::goingToSleep) {
        reply(failure("the machine is still going to sleep"));
        return;
    }
    // Also posted to an awake machine: a wake its applications did not see it sleep before.
    power_ = Power::awake;
    ++wakes_;
    const std::size_t observers = sessions_.size();
    broadcast(platform::workspace::encodeWorkspaceEvent(
        {WorkspaceEvent::Kind::didWake, platform::workspace::ThermalState::nominal, nextEvent_++}));
    reply({{"ok", true}, {"observers", observers}});
}

}  // namespace virtualmac
