#pragma once

#include <string>

namespace ventrella::diagnostics {

// Number texts of the log, the summaries and the report. They never follow the process locale:
// the separator is always a point.

// One decimal, rounded as printf's "%.1f" rounds (80.25 gives "80.2"); "inf", "-inf", "nan".
std::string oneDecimalText(double value);

// The shortest text that reads back as the same double: plain digits from 1e-4 up to 2^53, an
// exponent outside, and ".0" added when it has neither a point nor an exponent (72 gives
// "72.0", 80.5 "80.5", 1e22 "1e+22", 0.00001 "1e-05"); "inf", "-inf", "nan".
std::string shortestDecimalText(double value);

}  // namespace ventrella::diagnostics
