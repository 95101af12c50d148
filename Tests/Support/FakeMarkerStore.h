#pragma once

#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "Support/CallLog.h"
#include "VentrellaShared/FanControlMarkerStore.h"

namespace ventrella::fakes {

// An in-memory marker. Logs "marker.mark(<percentage>)" and "marker.clear"; reads of
// `isMarked` are not logged. A failing call leaves the marker as it was.
class FakeMarkerStore : public shared::FanControlMarkerStore {
  public:
    explicit FakeMarkerStore(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}

    bool marked = false;
    std::optional<std::int64_t> percentage;

    template <class Error>
    void failNextMark(Error error) {
        markErrors_.push_back(std::make_exception_ptr(std::move(error)));
    }
    template <class Error>
    void failNextClear(Error error) {
        clearErrors_.push_back(std::make_exception_ptr(std::move(error)));
    }

    bool isMarked() const override { return marked; }

    void mark(std::int64_t newPercentage) override {
        log_->record("marker.mark(" + std::to_string(newPercentage) + ")");
        throwQueued(markErrors_);
        marked = true;
        percentage = newPercentage;
    }

    void clear() override {
        log_->record("marker.clear");
        throwQueued(clearErrors_);
        marked = false;
        percentage.reset();
    }

  private:
    static void throwQueued(std::deque<std::exception_ptr>& queued) {
        if (!queued.empty()) {
            auto error = queued.front();
            queued.pop_front();
            std::rethrow_exception(error);
        }
    }

    std::shared_ptr<CallLog> log_;
    std::deque<std::exception_ptr> markErrors_;
    std::deque<std::exception_ptr> clearErrors_;
};

}  // namespace ventrella::fakes
