#pragma once

#include <string_view>

namespace ventrella::tools {

// The application's helper installation, for the end-to-end tests:
//   install     prints "installed" or "requires approval"
//   uninstall   prints the removal message
//   installed   prints "installed" or "not installed"
// An error prints "error: " and its text and gives 1; anything else gives 0.
bool isInstallerCommand(std::string_view command);
int runInstallerCommand(std::string_view command);

}  // namespace ventrella::tools
