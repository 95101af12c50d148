#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Platform/XPC/XPCError.h"
#include "Ventrella/Hardware/HelperConnection.h"
#include "VentrellaShared/ReplyBlock.h"

namespace helperclienttests {

using ventrella::apphardware::HelperConnection;
using ventrella::apphardware::HelperConnectionFactory;

// One request as the fake transport received it; the test answers it or fails it.
struct SentRequest {
    std::size_t connection = 0;
    std::string selector;
    std::vector<std::int64_t> arguments;
    std::shared_ptr<ventrella::shared::ReplyBlock> reply;
    platform::xpc::ErrorHandler errorHandler;

    void answer(const std::string& text) const {
        (*reply)(std::vector<std::uint8_t>(text.begin(), text.end()));
    }
    void fail(platform::xpc::XPCError::Code code) const {
        errorHandler(platform::xpc::XPCError(code));
    }
};

class FakeHelperService;

// A connection that never calls back by itself: its events happen when the test says so.
class FakeConnection final : public HelperConnection {
  public:
    FakeConnection(FakeHelperService& service, std::size_t number)
        : service_(service), number_(number) {}

    void setInvalidationHandler(std::function<void()> handler) override {
        std::lock_guard lock(mutex_);
        events_.push_back(handler ? "set invalidation handler" : "remove invalidation handler");
        invalidationHandler_ = std::move(handler);
    }
    void setInterruptionHandler(std::function<void()> handler) override {
        std::lock_guard lock(mutex_);
        events_.push_back(handler ? "set interruption handler" : "remove interruption handler");
        interruptionHandler_ = std::move(handler);
    }
    void resume() override { record("resume"); }
    void invalidate() override { record("invalidate"); }
    std::shared_ptr<ventrella::shared::VentrellaHelperProtocol> remoteObjectProxy(
        platform::xpc::ErrorHandler errorHandler) override;

    std::vector<std::string> events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    // The handlers as the client left them; they run on the test's thread.
    void runInvalidationHandler() const { run(invalidationHandler_); }
    void runInterruptionHandler() const { run(interruptionHandler_); }

    std::size_t number() const { return number_; }

  private:
    void record(std::string event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }
    void run(const std::function<void()>& slot) const {
        std::function<void()> handler;
        {
            std::lock_guard lock(mutex_);
            handler = slot;
        }
        if (handler) {
            handler();
        }
    }

    FakeHelperService& service_;
    const std::size_t number_;
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
    std::function<void()> invalidationHandler_;
    std::function<void()> interruptionHandler_;
};

// The factory of fake connections and the record of everything sent through them.
class FakeHelperService {
  public:
    // What the next connections do.
    bool speaksProtocol = true;
    std::optional<platform::xpc::XPCError::Code> creationFails;

    HelperConnectionFactory factory() {
        return [this]() -> std::shared_ptr<HelperConnection> {
            if (creationFails) {
                throw platform::xpc::XPCError(*creationFails);
            }
            std::lock_guard lock(mutex_);
            connections_.push_back(std::make_shared<FakeConnection>(*this, connections_.size()));
            return connections_.back();
        };
    }

    std::size_t connectionCount() const {
        std::lock_guard lock(mutex_);
        return connections_.size();
    }
    std::shared_ptr<FakeConnection> connection(std::size_t index) const {
        std::lock_guard lock(mutex_);
        return connections_.at(index);
    }

    std::size_t requestCount() const {
        std::lock_guard lock(mutex_);
        return requests_.size();
    }
    std::shared_ptr<SentRequest> request(std::size_t index) const {
        std::lock_guard lock(mutex_);
        return requests_.at(index);
    }
    void received(std::shared_ptr<SentRequest> request) {
        std::lock_guard lock(mutex_);
        requests_.push_back(std::move(request));
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<FakeConnection>> connections_;
    std::vector<std::shared_ptr<SentRequest>> requests_;
};

// Records every request with its selector, as the XPC proxy would send it.
class FakeProxy final : public ventrella::shared::VentrellaHelperProtocol {
  public:
    FakeProxy(FakeHelperService& service, std::size_t connection,
              platform::xpc::ErrorHandler errorHandler)
        : service_(service), connection_(connection), errorHandler_(std::move(errorHandler)) {}

    void status(ventrella::shared::ReplyBlock reply) override {
        record(statusSelector, {}, std::move(reply));
    }
    void prepareTakeover(ventrella::shared::ReplyBlock reply) override {
        record(prepareTakeoverSelector, {}, std::move(reply));
    }
    void applyCooling(std::int64_t percentage, ventrella::shared::ReplyBlock reply) override {
        record(applyCoolingSelector, {percentage}, std::move(reply));
    }
    void restoreAutomatic(ventrella::shared::ReplyBlock reply) override {
        record(restoreAutomaticSelector, {}, std::move(reply));
    }

  private:
    void record(std::string_view selector, std::vector<std::int64_t> arguments,
                ventrella::shared::ReplyBlock reply) {
        auto request = std::make_shared<SentRequest>();
        request->connection = connection_;
        request->selector = std::string(selector);
        request->arguments = std::move(arguments);
        request->reply = std::make_shared<ventrella::shared::ReplyBlock>(std::move(reply));
        request->errorHandler = errorHandler_;
        service_.received(std::move(request));
    }

    FakeHelperService& service_;
    std::size_t connection_;
    platform::xpc::ErrorHandler errorHandler_;
};

inline std::shared_ptr<ventrella::shared::VentrellaHelperProtocol>
FakeConnection::remoteObjectProxy(platform::xpc::ErrorHandler errorHandler) {
    record("proxy");
    if (!service_.speaksProtocol) {
        return nullptr;
    }
    return std::make_shared<FakeProxy>(service_, number_, std::move(errorHandler));
}

}  // namespace helperclienttests
