#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

#include "Support/Eventually.h"
#include "Ventrella/Hardware/HelperConnection.h"

namespace ventrella::testsupport {

// Wraps the helper client's connection factory: counts the connections opened and the
// interruptions the client was told of, so a test can wait until the client has seen one.
class ObservedHelperConnections {
  public:
    explicit ObservedHelperConnections(apphardware::HelperConnectionFactory inner)
        : state_(std::make_shared<State>()), inner_(std::move(inner)) {}

    apphardware::HelperConnectionFactory factory() const {
        return
            [state = state_, inner = inner_]() -> std::shared_ptr<apphardware::HelperConnection> {
                auto connection = inner();
                {
                    std::lock_guard lock(state->mutex);
                    ++state->opened;
                }
                return std::make_shared<Observed>(std::move(connection), state);
            };
    }

    int opened() const {
        std::lock_guard lock(state_->mutex);
        return state_->opened;
    }

    // True once the client's interruption handler has run `count` times in all.
    bool waitForInterruptions(int count) const {
        std::unique_lock lock(state_->mutex);
        return state_->changed.wait_for(lock, testsupport::eventDeadline,
                                        [&] { return state_->interruptions >= count; });
    }

  private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        int opened = 0;
        int interruptions = 0;
    };

    class Observed final : public apphardware::HelperConnection {
      public:
        Observed(std::shared_ptr<apphardware::HelperConnection> inner, std::shared_ptr<State> state)
            : inner_(std::move(inner)), state_(std::move(state)) {}

        void setInvalidationHandler(std::function<void()> handler) override {
            inner_->setInvalidationHandler(std::move(handler));
        }
        void setInterruptionHandler(std::function<void()> handler) override {
            if (!handler) {
                inner_->setInterruptionHandler(nullptr);
                return;
            }
            // Noted after the client's handler, so a waiting test sees its effect.
            inner_->setInterruptionHandler([handler = std::move(handler), state = state_] {
                handler();
                {
                    std::lock_guard lock(state->mutex);
                    ++state->interruptions;
                }
                state->changed.notify_all();
            });
        }
        void resume() override { inner_->resume(); }
        void invalidate() override { inner_->invalidate(); }
        std::shared_ptr<shared::VentrellaHelperProtocol> remoteObjectProxy(
            platform::xpc::ErrorHandler errorHandler) override {
            return inner_->remoteObjectProxy(std::move(errorHandler));
        }

      private:
        std::shared_ptr<apphardware::HelperConnection> inner_;
        std::shared_ptr<State> state_;
    };

    std::shared_ptr<State> state_;
    apphardware::HelperConnectionFactory inner_;
};

}  // namespace ventrella::testsupport
