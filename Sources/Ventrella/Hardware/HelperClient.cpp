#include "Ventrella/Hardware/HelperClient.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <utility>

#include "Ventrella/Core/VentrellaError.h"
#include "Ventrella/Hardware/DispatchTimeoutScheduler.h"
#include "Ventrella/Hardware/HelperResponseDecoder.h"
#include "Ventrella/Hardware/XPCHelperConnection.h"

namespace ventrella::apphardware {

using core::VentrellaError;
using platform::dispatch::Completer;
using platform::dispatch::Completion;
using platform::dispatch::Task;

// The lock guards only the connection. It is held while a connection is created and a proxy
// obtained (which never call back inline), never while a request waits, and never together with
// a request's completion.
struct HelperClient::State {
    std::mutex lock;
    std::shared_ptr<HelperConnection> connection;

    // From a handler of `failing`: forgets it, unless a newer connection already took its place.
    static void clearIfCurrent(const std::weak_ptr<State>& weakState,
                               const std::weak_ptr<HelperConnection>& weakConnection) {
        const auto state = weakState.lock();
        const auto failing = weakConnection.lock();
        if (!state || !failing) {
            return;
        }
        // Let go of only once the lock is released.
        std::shared_ptr<HelperConnection> released;
        {
            std::lock_guard guard(state->lock);
            if (state->connection == failing) {
                released = std::move(state->connection);
            }
        }
    }
};

namespace {

// The synchronous restore's wait, shared with the reply block and the error handler, which may
// come after the wait has given up.
class Signal {
  public:
    void notify() {
        {
            std::lock_guard guard(mutex_);
            signalled_ = true;
        }
        changed_.notify_all();
    }

    void waitFor(double seconds) {
        if (!(seconds > 0)) {
            return;
        }
        // A year is as good as forever, and keeps the deadline representable.
        const auto bound = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(std::min(seconds, 365.0 * 24 * 3600)));
        std::unique_lock guard(mutex_);
        changed_.wait_for(guard, bound, [this] { return signalled_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool signalled_ = false;
};

}  // namespace

HelperClient::HelperClient()
    : HelperClient(XPCHelperConnection::factory(), std::make_shared<DispatchTimeoutScheduler>()) {}

HelperClient::HelperClient(HelperConnectionFactory makeConnection,
                           std::shared_ptr<TimeoutScheduling> timeouts)
    : state_(std::make_shared<State>()),
      makeConnection_(std::move(makeConnection)),
      timeouts_(std::move(timeouts)) {}

HelperClient::~HelperClient() {
    resetConnection();
}

Task<shared::HelperStatus> HelperClient::status() {
    return request<shared::HelperStatus>(
        [](shared::VentrellaHelperProtocol& proxy, shared::ReplyBlock reply) {
            proxy.status(std::move(reply));
        });
}

Task<shared::FanControlResult> HelperClient::prepareTakeover() {
    return request<shared::FanControlResult>(
        [](shared::VentrellaHelperProtocol& proxy, shared::ReplyBlock reply) {
            proxy.prepareTakeover(std::move(reply));
        });
}

Task<shared::FanControlResult> HelperClient::applyCooling(std::int64_t percentage) {
    return request<shared::FanControlResult>(
        [percentage](shared::VentrellaHelperProtocol& proxy, shared::ReplyBlock reply) {
            proxy.applyCooling(percentage, std::move(reply));
        });
}

Task<shared::FanControlResult> HelperClient::restoreAutomatic() {
    return request<shared::FanControlResult>(
        [](shared::VentrellaHelperProtocol& proxy, shared::ReplyBlock reply) {
            proxy.restoreAutomatic(std::move(reply));
        });
}

template <class Payload>
Task<Payload> HelperClient::request(Send send) {
    const ReplyData data = co_await rawCall(std::move(send));
    co_return HelperResponseDecoder::decode<Payload>(data);
}

// The reply block, the connection's error handler and the timeout race to finish one shared
// completion; the first wins and the task resumes once, on its executor. The timeout is
// cancelled when the task goes on (or its frame goes), so it never outlives the request.
Task<HelperClient::ReplyData> HelperClient::rawCall(Send send) {
    Completion<ReplyData> completion;
    const ScheduledTimeout timeout = startCall(send, completion.completer());
    ReplyData data = co_await completion;
    co_return data;
}

ScheduledTimeout HelperClient::startCall(const Send& send, const Completer<ReplyData>& completer) {
    std::shared_ptr<shared::VentrellaHelperProtocol> proxy;
    try {
        proxy = remoteProxy([completer](const platform::xpc::XPCError& error) {
            completer.fail(
                std::make_exception_ptr(VentrellaError::commandFailed(error.description())));
        });
    } catch (const VentrellaError&) {
        completer.fail(std::current_exception());
        return {};
    }
    send(*proxy,
         shared::ReplyBlock([completer](ReplyData data) { completer.complete(std::move(data)); }));
    return timeouts_->schedule(replyTimeoutSeconds, [completer] {
        completer.fail(std::make_exception_ptr(VentrellaError::commandFailed(noReplyText)));
    });
}

std::shared_ptr<shared::VentrellaHelperProtocol> HelperClient::remoteProxy(
    platform::xpc::ErrorHandler errorHandler) {
    std::lock_guard guard(state_->lock);
    if (!state_->connection) {
        std::shared_ptr<HelperConnection> created;
        try {
            created = makeConnection_();
        } catch (const std::exception& error) {
            throw VentrellaError::commandFailed(error.what());
        }
        if (!created) {
            throw VentrellaError::commandFailed(noProxyText);
        }
        const std::weak_ptr<State> weakState = state_;
        const std::weak_ptr<HelperConnection> weakConnection = created;
        // Both events mean the same to us: this connection is done with.
        const auto forget = [weakState, weakConnection] {
            State::clearIfCurrent(weakState, weakConnection);
        };
        created->setInvalidationHandler(forget);
        created->setInterruptionHandler(forget);
        created->resume();
        state_->connection = std::move(created);
    }
    const std::weak_ptr<State> weakState = state_;
    const std::weak_ptr<HelperConnection> weakConnection = state_->connection;
    auto proxy = state_->connection->remoteObjectProxy(
        [weakState, weakConnection,
         errorHandler = std::move(errorHandler)](const platform::xpc::XPCError& error) {
            State::clearIfCurrent(weakState, weakConnection);
            if (errorHandler) {
                errorHandler(error);
            }
        });
    if (!proxy) {
        throw VentrellaError::commandFailed(noProxyText);
    }
    return proxy;
}

void HelperClient::restoreAutomaticSynchronously(double timeoutSeconds) {
    const auto signal = std::make_shared<Signal>();
    std::shared_ptr<shared::VentrellaHelperProtocol> proxy;
    try {
        proxy = remoteProxy([signal](const platform::xpc::XPCError&) { signal->notify(); });
    } catch (const VentrellaError&) {
        return;
    }
    proxy->restoreAutomatic(shared::ReplyBlock([signal](ReplyData) { signal->notify(); }));
    proxy.reset();
    signal->waitFor(timeoutSeconds);
}

void HelperClient::resetConnection() {
    std::shared_ptr<HelperConnection> taken;
    {
        std::lock_guard guard(state_->lock);
        taken = std::move(state_->connection);
    }
    if (taken) {
        // Our own invalidation is not news to us.
        taken->setInvalidationHandler(nullptr);
        taken->setInterruptionHandler(nullptr);
        taken->invalidate();
    }
}

}  // namespace ventrella::apphardware
