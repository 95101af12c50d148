#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "Ventrella/Diagnostics/DiagnosticEventSink.h"
#include "Ventrella/Diagnostics/DiagnosticLevel.h"

namespace ventrella::diagnostics {

// One line of the event log, its texts already sanitised.
struct DiagnosticRecord {
    std::chrono::system_clock::time_point timestamp;
    DiagnosticLevel level = DiagnosticLevel::info;
    std::string event;
    std::string message;
    DiagnosticMetadata metadata;

    // The JSON object with its keys sorted and a closing line feed:
    // {"event":…,"level":…,"message":…,"metadata":{…},"timestamp":"2024-05-01T10:00:00Z"}
    // "/" is not escaped, text beyond ASCII stays UTF-8, control characters become \u00XX.
    // Absent when the timestamp has no four-digit year.
    std::optional<std::string> jsonLine() const;
};

}  // namespace ventrella::diagnostics
