#include "Ventrella/Diagnostics/DiagnosticRecord.h"

#include "VentrellaSecurity/ClientAuthorizationAuditEntry.h"

namespace ventrella::diagnostics {

namespace {

void appendJSONString(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    for (const char character : text) {
        const auto byte = static_cast<unsigned char>(character);
        if (character == '"' || character == '\\') {
            out.push_back('\\');
            out.push_back(character);
        } else if (byte < 0x20) {
            out.append("\\u00");
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 0x0F]);
        } else {
            out.push_back(character);
        }
    }
    out.push_back('"');
}

}  // namespace

std::optional<std::string> DiagnosticRecord::jsonLine() const {
    const auto date = security::iso8601String(timestamp);
    if (!date) {
        return std::nullopt;
    }
    std::string line = "{\"event\":";
    appendJSONString(line, event);
    line.append(",\"level\":");
    appendJSONString(line, rawValue(level));
    line.append(",\"message\":");
    appendJSONString(line, message);
    line.append(",\"metadata\":{");
    bool first = true;
    for (const auto& [key, value] : metadata) {
        if (!first) {
            line.push_back(',');
        }
        first = false;
        appendJSONString(line, key);
        line.push_back(':');
        appendJSONString(line, value);
    }
    line.append("},\"timestamp\":");
    appendJSONString(line, *date);
    line.append("}\n");
    return line;
}

}  // namespace ventrella::diagnostics
