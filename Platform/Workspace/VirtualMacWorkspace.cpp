#include "Platform/Workspace/VirtualMacWorkspace.h"

#include <sys/un.h>

#include <asio.hpp>
#include <atomic>
#include <chrono>
#include <deque>
#include <istream>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "Platform/Workspace/WorkspaceProtocol.h"

namespace platform::workspace {

namespace {

constexpr auto kReconnectInterval = std::chrono::seconds(1);
// Messages waiting to be written; the machine reads them at once, so more means it is stuck.
constexpr std::size_t kMaximumOutbox = 64;

}  // namespace

// Everything below runs on the notification thread, except the observer table (under its
// mutex), the thermal state (atomic) and what the public functions post to the thread.
class VirtualMacWorkspace::Core : public std::enable_shared_from_this<Core> {
  public:
    explicit Core(std::filesystem::path socketPath)
        : socketPath_(std::move(socketPath)),
          socket_(context_),
          retryTimer_(context_),
          work_(asio::make_work_guard(context_)),
          buffer_(kMaximumWorkspaceLine) {}

    void start() {
        asio::post(context_, [this] { connect(); });
        // The thread owns the core until its loop ends, so that a handler may even destroy
        // the workspace.
        thread_ = std::thread([self = shared_from_this()] { self->context_.run(); });
    }

    void stop() {
        asio::post(context_, [this] {
            stopped_ = true;
            disconnect();
            retryTimer_.cancel();
        });
        work_.reset();
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();
        } else {
            thread_.join();
        }
    }

    WorkspaceObserverToken add(WillSleepHandler willSleep, DidWakeHandler didWake) {
        std::lock_guard lock(observersMutex_);
        const WorkspaceObserverToken token{nextToken_++};
        if (willSleep) {
            willSleep_.emplace(token.value, std::move(willSleep));
        } else {
            didWake_.emplace(token.value, std::move(didWake));
        }
        return token;
    }

    WorkspaceObserverToken addDisplayOptions(std::function<void()> handler) {
        std::lock_guard lock(observersMutex_);
        const WorkspaceObserverToken token{nextToken_++};
        displayOptions_.emplace(token.value, std::move(handler));
        return token;
    }

    void remove(WorkspaceObserverToken token) {
        std::lock_guard lock(observersMutex_);
        willSleep_.erase(token.value);
        didWake_.erase(token.value);
        displayOptions_.erase(token.value);
    }

    ThermalState thermalState() const { return thermalState_.load(); }
    bool reduceMotion() const { return reduceMotion_.load(); }

    // Posts the command to the thread; sent when connected then.
    void post(WorkspaceCommand command) {
        asio::post(context_, [weak = weak_from_this(), command] {
            if (auto self = weak.lock()) {
                self->send(encodeWorkspaceCommand(command));
            }
        });
    }

    // Posts the acknowledgement of will-sleep `id`, if the connection it came on still stands.
    void acknowledge(std::uint64_t connection, std::uint64_t id) {
        asio::post(context_, [weak = weak_from_this(), connection, id] {
            auto self = weak.lock();
            if (self && connection == self->connection_) {
                self->send(encodeWorkspaceCommand({WorkspaceCommand::Kind::acknowledge, id}));
            }
        });
    }

  private:
    // Released by the last SleepAcknowledgement of one will-sleep notification.
    struct PendingSleep {
        PendingSleep(std::weak_ptr<Core> owner, std::uint64_t onConnection, std::uint64_t sleepId)
            : core(std::move(owner)), connection(onConnection), id(sleepId) {}
        PendingSleep(const PendingSleep&) = delete;
        PendingSleep& operator=(const PendingSleep&) = delete;

        std::weak_ptr<Core> core;
        std::uint64_t connection;
        std::uint64_t id;
        ~PendingSleep() {
            if (auto self = core.lock()) {
                self->acknowledge(connection, id);
            }
        }
    };

    void connect() {
        if (stopped_) {
            return;
        }
        std::error_code ignored;
        socket_.close(ignored);
        const std::uint64_t attempt = ++connection_;
        socket_.async_connect(asio::local::stream_protocol::endpoint(socketPath_.native()),
                              [this, attempt](std::error_code error) {
                                  if (attempt != connection_ || stopped_) {
                                      return;
                                  }
                                  if (error) {
                                      disconnect();
                                      return;
                                  }
                                  connected_ = true;
                                  readLine();
                              });
    }

    // Drops the connection (and what waits to be written) and tries again later.
    void disconnect() {
        ++connection_;
        connected_ = false;
        writing_ = false;
        outbox_.clear();
        buffer_.consume(buffer_.size());
        std::error_code ignored;
        socket_.close(ignored);
        if (stopped_) {
            return;
        }
        retryTimer_.expires_after(kReconnectInterval);
        retryTimer_.async_wait([this](std::error_code error) {
            if (!error) {
                connect();
            }
        });
    }

    void readLine() {
        asio::async_read_until(socket_, buffer_, '\n',
                               [this, current = connection_](std::error_code error, std::size_t) {
                                   if (current != connection_ || stopped_) {
                                       return;
                                   }
                                   if (error) {
                                       disconnect();  // closed, or a line over the cap
                                       return;
                                   }
                                   std::istream stream(&buffer_);
                                   std::string line;
                                   std::getline(stream, line);
                                   const auto event = decodeWorkspaceEvent(line);
                                   if (!event) {
                                       disconnect();
                                       return;
                                   }
                                   deliver(*event);
                                   if (current == connection_ && !stopped_) {
                                       readLine();
                                   }
                               });
    }

    void deliver(const WorkspaceEvent& event) {
        switch (event.kind) {
            case WorkspaceEvent::Kind::thermalState:
                thermalState_.store(event.state);
                break;
            case WorkspaceEvent::Kind::willSleep: {
                auto pending =
                    std::make_shared<PendingSleep>(weak_from_this(), connection_, event.id);
                for (const auto& handler : handlers(willSleep_)) {
                    try {
                        handler(SleepAcknowledgement(pending));
                    } catch (...) {
                        // A failed handler has finished as far as sleep is concerned.
                    }
                }
                break;  // `pending` goes here unless a handler kept its acknowledgement
            }
            case WorkspaceEvent::Kind::didWake:
                callEach(didWake_);
                break;
            case WorkspaceEvent::Kind::accessibility:
                if (reduceMotion_.exchange(event.reduceMotion) != event.reduceMotion) {
                    callEach(displayOptions_);
                }
                break;
        }
    }

    void callEach(const std::map<std::uint64_t, std::function<void()>>& table) {
        for (const auto& handler : handlers(table)) {
            try {
                handler();
            } catch (...) {
            }
        }
    }

    // A copy, so that handlers run without the lock and may add or remove observers.
    template <class Handler>
    std::vector<Handler> handlers(const std::map<std::uint64_t, Handler>& table) {
        std::lock_guard lock(observersMutex_);
        std::vector<Handler> copy;
        for (const auto& [token, handler] : table) {
            copy.push_back(handler);
        }
        return copy;
    }

    void send(std::string line) {
        if (!connected_ || stopped_) {
            return;
        }
        if (outbox_.size() >= kMaximumOutbox) {
            disconnect();
            return;
        }
        outbox_.push_back(std::move(line));
        if (!writing_) {
            writeNext();
        }
    }

    void writeNext() {
        if (outbox_.empty()) {
            writing_ = false;
            return;
        }
        writing_ = true;
        asio::async_write(socket_, asio::buffer(outbox_.front()),
                          [this, current = connection_](std::error_code error, std::size_t) {
                              if (current != connection_ || stopped_) {
                                  return;
                              }
                              if (error) {
                                  disconnect();
                                  return;
                              }
                              outbox_.pop_front();
                              writeNext();
                          });
    }

    std::filesystem::path socketPath_;
    asio::io_context context_;
    asio::local::stream_protocol::socket socket_;
    asio::steady_timer retryTimer_;
    asio::executor_work_guard<asio::io_context::executor_type> work_;
    asio::streambuf buffer_;
    std::thread thread_;
    std::deque<std::string> outbox_;
    std::uint64_t connection_ = 0;  // changes with every attempt and every loss
    bool connected_ = false;
    bool writing_ = false;
    bool stopped_ = false;
    std::atomic<ThermalState> thermalState_{ThermalState::nominal};
    std::atomic<bool> reduceMotion_{false};

    std::mutex observersMutex_;
    std::map<std::uint64_t, WillSleepHandler> willSleep_;
    std::map<std::uint64_t, DidWakeHandler> didWake_;
    std::map<std::uint64_t, std::function<void()>> displayOptions_;
    std::uint64_t nextToken_ = 1;
};

VirtualMacWorkspace::VirtualMacWorkspace() : VirtualMacWorkspace(workspaceSocketPath()) {}

VirtualMacWorkspace::VirtualMacWorkspace(const std::filesystem::path& socketPath) {
    if (socketPath.native().size() >= sizeof(sockaddr_un{}.sun_path)) {
        throw std::invalid_argument("the workspace socket path is too long: " +
                                    socketPath.string());
    }
    core_ = std::make_shared<Core>(socketPath);
    core_->start();
}

VirtualMacWorkspace::~VirtualMacWorkspace() {
    core_->stop();
}

WorkspaceObserverToken VirtualMacWorkspace::addWillSleepObserver(WillSleepHandler handler) {
    if (!handler) {
        throw std::invalid_argument("a will-sleep observer needs a handler");
    }
    return core_->add(std::move(handler), nullptr);
}

WorkspaceObserverToken VirtualMacWorkspace::addDidWakeObserver(DidWakeHandler handler) {
    if (!handler) {
        throw std::invalid_argument("a did-wake observer needs a handler");
    }
    return core_->add(nullptr, std::move(handler));
}

void VirtualMacWorkspace::removeObserver(WorkspaceObserverToken token) {
    core_->remove(token);
}

ThermalState VirtualMacWorkspace::thermalState() const {
    return core_->thermalState();
}

bool VirtualMacWorkspace::shouldReduceMotion() const {
    return core_->reduceMotion();
}

WorkspaceObserverToken VirtualMacWorkspace::addDisplayOptionsObserver(
    std::function<void()> handler) {
    if (!handler) {
        throw std::invalid_argument("a display-options observer needs a handler");
    }
    return core_->addDisplayOptions(std::move(handler));
}

void VirtualMacWorkspace::removeDisplayOptionsObserver(WorkspaceObserverToken token) {
    core_->remove(token);
}

void VirtualMacWorkspace::openLoginItems() {
    core_->post({WorkspaceCommand::Kind::openLoginItems, 0});
}

}  // namespace platform::workspace
