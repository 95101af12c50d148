#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace ventrella::shared {

// Used for anything thrown that is not a std::exception, so that a rollback or a reply still
// has a text to report.
inline constexpr std::string_view unknownErrorDescription = "An unknown error occurred.";

// The English description of the error: `what()` of a std::exception, else the text above.
std::string errorDescription(const std::exception_ptr& error);

}  // namespace ventrella::shared
