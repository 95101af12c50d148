#include "Ventrella/Diagnostics/DiagnosticReportContext.h"

#include "Ventrella/Diagnostics/DiagnosticNumberText.h"
#include "Ventrella/Diagnostics/DiagnosticSummary.h"

namespace ventrella::diagnostics {

std::map<std::string, std::string> DiagnosticReportContext::header() const {
    return {
        {"app_version", appVersion},
        {"macos", macOSVersion},
        {"hardware", hardware},
        {"guard_mode", guardMode},
        {"control_enabled", controlEnabled ? "true" : "false"},
        {"helper_ready", helperReady ? "true" : "false"},
        {"temperature_c",
         temperatureCelsius ? oneDecimalText(*temperatureCelsius) : std::string("unavailable")},
        {"settings", DiagnosticSummary::settings(settings)},
        {"fans", DiagnosticSummary::fans(fans)},
        {"sensors", sensors},
    };
}

}  // namespace ventrella::diagnostics
