#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "Platform/Dispatch/Completion.h"
#include "Platform/Dispatch/Task.h"
#include "Ventrella/Core/VentrellaError.h"
#include "Ventrella/Hardware/FanControlHelping.h"
#include "VentrellaShared/FanControlResult.h"
#include "VentrellaShared/HelperStatus.h"

namespace ventrella::fakes {

// A helper whose replies the test releases one by one. Every request waits, in the order the
// requests were made, until the test answers the oldest one with a payload or an error; the
// awaiting task then goes on in a later step of its executor, as with the real client. Answering
// with the wrong payload type, or with nothing waiting, is a mistake of the test and throws
// std::logic_error. Main thread only.
class FakeFanControlHelper final : public apphardware::FanControlHelping {
  public:
    enum class Request { status, prepareTakeover, applyCooling, restoreAutomatic };

    struct PendingRequest {
        Request request;
        // Set for applyCooling only.
        std::optional<std::int64_t> percentage;
    };

    platform::dispatch::Task<shared::HelperStatus> status() override {
        return awaitReply<shared::HelperStatus>(Request::status, std::nullopt);
    }
    platform::dispatch::Task<shared::FanControlResult> prepareTakeover() override {
        return awaitReply<shared::FanControlResult>(Request::prepareTakeover, std::nullopt);
    }
    platform::dispatch::Task<shared::FanControlResult> applyCooling(
        std::int64_t percentage) override {
        return awaitReply<shared::FanControlResult>(Request::applyCooling, percentage);
    }
    platform::dispatch::Task<shared::FanControlResult> restoreAutomatic() override {
        return awaitReply<shared::FanControlResult>(Request::restoreAutomatic, std::nullopt);
    }

    void restoreAutomaticSynchronously(double timeoutSeconds) override {
        synchronousRestoreTimeouts_.push_back(timeoutSeconds);
    }
    void resetConnection() override { ++resetCount_; }

    // Every request made so far, answered or not, in order.
    const std::vector<PendingRequest>& requests() const { return requests_; }
    std::size_t pendingCount() const { return pending_.size(); }
    // The oldest request still waiting.
    PendingRequest nextPending() const {
        if (pending_.empty()) {
            throw std::logic_error("No helper request is waiting.");
        }
        return pending_.front().request;
    }

    // Answer the oldest waiting request.
    void reply(shared::HelperStatus status) { answer<shared::HelperStatus>(std::move(status)); }
    void reply(shared::FanControlResult result) {
        answer<shared::FanControlResult>(std::move(result));
    }
    void fail(core::VentrellaError error) {
        takeNext().completer.fail(std::make_exception_ptr(std::move(error)));
    }

    // Answer the waiting request at `position` (0 is the oldest) ahead of older ones, as
    // replies on different connections may arrive.
    void replyAt(std::size_t position, shared::HelperStatus status) {
        answerAt<shared::HelperStatus>(position, std::move(status));
    }
    void replyAt(std::size_t position, shared::FanControlResult result) {
        answerAt<shared::FanControlResult>(position, std::move(result));
    }
    // The request waiting at `position`.
    PendingRequest pendingAt(std::size_t position) const {
        if (position >= pending_.size()) {
            throw std::logic_error("No helper request waits at that position.");
        }
        return pending_[position].request;
    }

    const std::vector<double>& synchronousRestoreTimeouts() const {
        return synchronousRestoreTimeouts_;
    }
    int resetCount() const { return resetCount_; }

  private:
    using Reply = std::variant<shared::HelperStatus, shared::FanControlResult>;

    struct Waiting {
        PendingRequest request;
        platform::dispatch::Completer<Reply> completer;
    };

    template <class Payload>
    platform::dispatch::Task<Payload> awaitReply(Request request,
                                                 std::optional<std::int64_t> percentage) {
        platform::dispatch::Completion<Reply> completion;
        requests_.push_back(PendingRequest{request, percentage});
        pending_.push_back(Waiting{requests_.back(), completion.completer()});
        Reply reply = co_await completion;
        co_return std::get<Payload>(std::move(reply));
    }

    template <class Payload>
    void answer(Payload payload) {
        answerAt<Payload>(0, std::move(payload));
    }

    template <class Payload>
    void answerAt(std::size_t position, Payload payload) {
        if (position >= pending_.size()) {
            throw std::logic_error("No helper request is waiting.");
        }
        const bool wantsStatus = pending_[position].request.request == Request::status;
        if (wantsStatus != std::is_same_v<Payload, shared::HelperStatus>) {
            throw std::logic_error("The waiting helper request expects another payload.");
        }
        take(position).completer.complete(Reply(std::move(payload)));
    }

    Waiting takeNext() { return take(0); }

    Waiting take(std::size_t position) {
        if (position >= pending_.size()) {
            throw std::logic_error("No helper request is waiting.");
        }
        Waiting taken = std::move(pending_[position]);
        pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(position));
        return taken;
    }

    std::vector<PendingRequest> requests_;
    std::deque<Waiting> pending_;
    std::vector<double> synchronousRestoreTimeouts_;
    int resetCount_ = 0;
};

}  // namespace ventrella::fakes
