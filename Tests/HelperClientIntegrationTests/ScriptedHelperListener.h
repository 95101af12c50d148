#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/XPC/Listener.h"

namespace helperclienttests {

// The helper's service in this process, under the platform root that is set when it starts.
// Each request is answered as scripted: with a well-formed reply of its kind (the default), with
// given text, not at all (held until released), or by closing the client's connection.
class ScriptedHelperListener {
  public:
    enum class Answer { wellFormed, text, hold, closeConnection };

    struct Request {
        std::string selector;
        std::vector<std::int64_t> arguments;
    };

    ScriptedHelperListener();
    ~ScriptedHelperListener();

    void start(platform::xpc::ListenerOptions options = {});
    void stop();

    void answerWith(Answer answer, std::string text = {});

    // The requests received so far, in order.
    std::vector<Request> requests() const;
    bool waitForRequests(std::size_t count) const;
    // Answers every held request with text.
    void releaseHeld(const std::string& text);
    // Closes every connection accepted so far, as a helper that quits does.
    void closeConnections();

    // The well-formed reply for a request.
    static std::string wellFormedReply(const Request& request);

  private:
    struct State;
    class Service;
    class Delegate;

    std::shared_ptr<State> state_;
    std::unique_ptr<platform::xpc::Listener> listener_;
};

}  // namespace helperclienttests
