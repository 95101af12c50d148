#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "Platform/Dispatch/Completion.h"
#include "Platform/Dispatch/Task.h"
#include "Platform/XPC/Connection.h"
#include "Ventrella/Hardware/FanControlHelping.h"
#include "Ventrella/Hardware/HelperConnection.h"
#include "Ventrella/Hardware/TimeoutScheduling.h"
#include "VentrellaShared/ReplyBlock.h"
#include "VentrellaShared/VentrellaHelperProtocol.h"

namespace ventrella::apphardware {

// The application's one way to the privileged helper: a single connection to its service,
// opened by the first request and again by the first one after the connection failed, was
// interrupted or invalidated, or was reset. Each request ends exactly once, with the reply, the
// connection's error or, 18 seconds after it was sent, "Ventrella Helper did not respond.".
// A timeout or a reply that does not decode leaves the connection in place.
//
// Requests may come from any task of a TaskScope; the task resumes on its executor. The client
// must outlive the tasks that await it.
class HelperClient final : public FanControlHelping {
  public:
    static constexpr double replyTimeoutSeconds = 18.0;
    static constexpr const char* noProxyText = "Could not connect to Ventrella Helper.";
    static constexpr const char* noReplyText = "Ventrella Helper did not respond.";

    // To the helper's Mach service as a privileged service, timeouts in real time.
    HelperClient();
    HelperClient(HelperConnectionFactory makeConnection,
                 std::shared_ptr<TimeoutScheduling> timeouts);
    // Drops the connection as resetConnection() does.
    ~HelperClient() override;

    HelperClient(const HelperClient&) = delete;
    HelperClient& operator=(const HelperClient&) = delete;

    platform::dispatch::Task<shared::HelperStatus> status() override;
    platform::dispatch::Task<shared::FanControlResult> prepareTakeover() override;
    platform::dispatch::Task<shared::FanControlResult> applyCooling(
        std::int64_t percentage) override;
    platform::dispatch::Task<shared::FanControlResult> restoreAutomatic() override;
    void restoreAutomaticSynchronously(double timeoutSeconds) override;
    void resetConnection() override;

  private:
    using ReplyData = std::vector<std::uint8_t>;
    // Sends one request of the protocol with the given reply block.
    using Send = std::function<void(shared::VentrellaHelperProtocol&, shared::ReplyBlock)>;
    struct State;

    // One request and the decoding of its reply.
    template <class Payload>
    platform::dispatch::Task<Payload> request(Send send);
    platform::dispatch::Task<ReplyData> rawCall(Send send);
    // Sends the request and arms its timeout; every outcome goes to the completer.
    ScheduledTimeout startCall(const Send& send,
                               const platform::dispatch::Completer<ReplyData>& completer);
    // The connection's remote object, opening the connection when there is none. Throws
    // core::VentrellaError.
    std::shared_ptr<shared::VentrellaHelperProtocol> remoteProxy(
        platform::xpc::ErrorHandler errorHandler);

    // Shared, weakly, with the connection's handlers.
    std::shared_ptr<State> state_;
    HelperConnectionFactory makeConnection_;
    std::shared_ptr<TimeoutScheduling> timeouts_;
};

}  // namespace ventrella::apphardware
