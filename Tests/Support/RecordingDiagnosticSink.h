#pragma once

#include <algorithm>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Ventrella/Diagnostics/DiagnosticEventSink.h"
#include "Ventrella/Diagnostics/DiagnosticLevel.h"

namespace ventrella::fakes {

// A diagnostic sink that keeps every event in memory, in order. Safe to record from any thread;
// for test targets that link VentrellaDiagnostics.
class RecordingDiagnosticSink : public diagnostics::DiagnosticEventSink {
  public:
    struct Record {
        diagnostics::DiagnosticLevel level = diagnostics::DiagnosticLevel::info;
        std::string event;
        std::string message;
        diagnostics::DiagnosticMetadata metadata;
    };

    void record(diagnostics::DiagnosticLevel level, const std::string& event,
                const std::string& message,
                const diagnostics::DiagnosticMetadata& metadata) override {
        std::lock_guard lock(mutex_);
        records_.push_back(Record{level, event, message, metadata});
    }

    std::vector<Record> records() const {
        std::lock_guard lock(mutex_);
        return records_;
    }

    // The event names, in order.
    std::vector<std::string> events() const {
        std::lock_guard lock(mutex_);
        std::vector<std::string> names;
        for (const auto& record : records_) {
            names.push_back(record.event);
        }
        return names;
    }

    std::size_t count(const std::string& event) const {
        std::lock_guard lock(mutex_);
        return static_cast<std::size_t>(
            std::count_if(records_.begin(), records_.end(),
                          [&](const Record& record) { return record.event == event; }));
    }

    // The latest record of the event.
    std::optional<Record> last(const std::string& event) const {
        std::lock_guard lock(mutex_);
        for (auto it = records_.rbegin(); it != records_.rend(); ++it) {
            if (it->event == event) {
                return *it;
            }
        }
        return std::nullopt;
    }

    void clear() {
        std::lock_guard lock(mutex_);
        records_.clear();
    }

  private:
    mutable std::mutex mutex_;
    std::vector<Record> records_;
};

}  // namespace ventrella::fakes
