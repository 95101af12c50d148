#include "HelperClientIntegrationTests/ScriptedHelperListener.h"

#include <condition_variable>
#include <mutex>
#include <utility>

#include "Platform/XPC/Connection.h"
#include "Platform/XPC/ExportedObject.h"
#include "Platform/XPC/ListenerDelegate.h"
#include "Support/Eventually.h"
#include "Ventrella/Hardware/XPCHelperConnection.h"
#include "VentrellaShared/HelperContractJSON.h"
#include "VentrellaShared/VentrellaHelperProtocol.h"

namespace helperclienttests {

using namespace ventrella;

struct ScriptedHelperListener::State {
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    Answer answer = Answer::wellFormed;
    std::string text;
    std::vector<Request> requests;
    std::vector<platform::xpc::ReplyBlock> held;
    std::vector<std::weak_ptr<platform::xpc::Connection>> connections;
};

class ScriptedHelperListener::Service final : public platform::xpc::ExportedObject {
  public:
    Service(std::shared_ptr<State> state, std::weak_ptr<platform::xpc::Connection> connection)
        : state_(std::move(state)), connection_(std::move(connection)) {}

    void invoke(const std::string& selector, const std::vector<std::int64_t>& arguments,
                platform::xpc::ReplyBlock reply) override {
        Request request{selector, arguments};
        Answer answer;
        std::string text;
        {
            std::lock_guard lock(state_->mutex);
            state_->requests.push_back(request);
            answer = state_->answer;
            text = state_->text;
            if (answer == Answer::hold) {
                state_->held.push_back(reply);
            }
        }
        state_->changed.notify_all();
        switch (answer) {
            case Answer::wellFormed:
                text = wellFormedReply(request);
                [[fallthrough]];
            case Answer::text:
                reply(platform::xpc::ReplyData(text.begin(), text.end()));
                break;
            case Answer::hold:
                break;
            case Answer::closeConnection:
                if (auto connection = connection_.lock()) {
                    connection->invalidate();
                }
                break;
        }
    }

  private:
    std::shared_ptr<State> state_;
    std::weak_ptr<platform::xpc::Connection> connection_;
};

class ScriptedHelperListener::Delegate final : public platform::xpc::ListenerDelegate {
  public:
    explicit Delegate(std::shared_ptr<State> state) : state_(std::move(state)) {}

    bool shouldAcceptNewConnection(platform::xpc::Connection& connection) override {
        auto shared = connection.shared_from_this();
        {
            std::lock_guard lock(state_->mutex);
            state_->connections.push_back(shared);
        }
        connection.setExportedInterface(apphardware::XPCHelperConnection::helperInterface());
        connection.setExportedObject(std::make_shared<Service>(state_, shared));
        connection.resume();
        return true;
    }

  private:
    std::shared_ptr<State> state_;
};

ScriptedHelperListener::ScriptedHelperListener() : state_(std::make_shared<State>()) {}

ScriptedHelperListener::~ScriptedHelperListener() {
    stop();
}

void ScriptedHelperListener::start(platform::xpc::ListenerOptions options) {
    listener_ = std::make_unique<platform::xpc::Listener>(
        std::string(shared::VentrellaHelperProtocol::machServiceName), options);
    listener_->setDelegate(std::make_shared<Delegate>(state_));
    listener_->resume();
}

void ScriptedHelperListener::stop() {
    listener_.reset();
}

void ScriptedHelperListener::answerWith(Answer answer, std::string text) {
    std::lock_guard lock(state_->mutex);
    state_->answer = answer;
    state_->text = std::move(text);
}

std::vector<ScriptedHelperListener::Request> ScriptedHelperListener::requests() const {
    std::lock_guard lock(state_->mutex);
    return state_->requests;
}

bool ScriptedHelperListener::waitForRequests(std::size_t count) const {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, testsupport::eventDeadline,
                                    [&] { return state_->requests.size() >= count; });
}

void ScriptedHelperListener::releaseHeld(const std::string& text) {
    std::vector<platform::xpc::ReplyBlock> held;
    {
        std::lock_guard lock(state_->mutex);
        held.swap(state_->held);
    }
    for (const auto& reply : held) {
        reply(platform::xpc::ReplyData(text.begin(), text.end()));
    }
}

void ScriptedHelperListener::closeConnections() {
    std::vector<std::weak_ptr<platform::xpc::Connection>> connections;
    {
        std::lock_guard lock(state_->mutex);
        connections = state_->connections;
    }
    for (const auto& weak : connections) {
        if (auto connection = weak.lock()) {
            connection->invalidate();
        }
    }
}

std::string ScriptedHelperListener::wellFormedReply(const Request& request) {
    const shared::FanInfo fan{0, 2400, 1200, 6000, 2400, shared::FanControlMode::automatic};
    std::vector<std::uint8_t> bytes;
    if (request.selector == shared::VentrellaHelperProtocol::statusSelector) {
        shared::HelperStatus status;
        status.fans = {fan};
        bytes = shared::encodeHelperReply(
            shared::HelperReply<shared::HelperStatus>::withPayload(status));
    } else {
        shared::FanControlResult result;
        result.fans = {fan};
        if (!request.arguments.empty()) {
            result.state = shared::HelperControlState::manual;
            result.fans[0].mode = shared::FanControlMode::manual;
            result.appliedPercentage = request.arguments[0];
        }
        bytes = shared::encodeHelperReply(
            shared::HelperReply<shared::FanControlResult>::withPayload(result));
    }
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace helperclienttests
