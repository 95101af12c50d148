#pragma once

#include <map>
#include <string>

#include "Ventrella/Diagnostics/DiagnosticLevel.h"

namespace ventrella::diagnostics {

// Key-value details of one event, ordered by key.
using DiagnosticMetadata = std::map<std::string, std::string>;

// Where the application model sends its diagnostic events. Recording never blocks for long
// and never fails visibly.
class DiagnosticEventSink {
  public:
    virtual ~DiagnosticEventSink() = default;

    virtual void record(DiagnosticLevel level, const std::string& event, const std::string& message,
                        const DiagnosticMetadata& metadata) = 0;
};

}  // namespace ventrella::diagnostics
