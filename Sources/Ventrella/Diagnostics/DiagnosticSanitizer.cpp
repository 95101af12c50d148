#include "Ventrella/Diagnostics/DiagnosticSanitizer.h"

#include "Platform/Foundation/UnicodeText.h"

namespace ventrella::diagnostics {

using platform::foundation::prefixScalars;
using platform::foundation::repairedUTF8;

DiagnosticSanitizer::DiagnosticSanitizer(std::string_view homeDirectory)
    : home_(repairedUTF8(homeDirectory)) {
    while (!home_.empty() && home_.back() == '/') {
        home_.pop_back();
    }
}

std::string DiagnosticSanitizer::operator()(std::string_view text,
                                            std::size_t maximumScalars) const {
    const std::string repaired = repairedUTF8(text);
    std::string sanitized;
    sanitized.reserve(repaired.size());
    std::size_t offset = 0;
    while (offset < repaired.size()) {
        if (!home_.empty() && repaired.compare(offset, home_.size(), home_) == 0) {
            sanitized.push_back('~');
            offset += home_.size();
            continue;
        }
        const char character = repaired[offset++];
        sanitized.push_back(character == '\r' || character == '\n' ? ' ' : character);
    }
    sanitized.resize(prefixScalars(sanitized, maximumScalars).size());
    return sanitized;
}

}  // namespace ventrella::diagnostics
