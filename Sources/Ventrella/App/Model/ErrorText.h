#pragma once

#include <exception>
#include <string>

namespace ventrella::model {

// The error's description for the user: a core::VentrellaError's description in the interface
// language; for any other error its English text (what(), or a fixed sentence for something that
// is not a std::exception).
std::string localizedDescription(const std::exception_ptr& error);

// The text the model shows and records for an error: its localized description looked up once
// more, so that an English message of the helper appears translated when the table has it.
std::string errorText(const std::exception_ptr& error);

}  // namespace ventrella::model
