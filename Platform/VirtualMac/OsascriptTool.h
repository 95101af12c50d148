#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace virtualmac {

// The script path of the one AppleScript the simulated Mac's osascript runs:
//   do shell script ("/bin/zsh " & quoted form of "PATH") with administrator privileges
// where PATH is an AppleScript string (a backslash or double quote in it escaped by a
// backslash). Nothing for any other source.
std::optional<std::string> administratorScriptPath(std::string_view source);

// The simulated Mac's /usr/bin/osascript, for any user: `osascript -e SOURCE` with that form
// asks the machine to run the script with administrator privileges (AdministratorScripts.h);
// once the person at the prompt allows it, the machine runs it as root with /bin/zsh, and this
// prints its output and exits with its status. Denied: one line naming the refusal and status
// 1. Cancelled: no output and status 1. Anything else, or a script the machine will not run:
// one error line and status 1.
int runOsascript(const std::vector<std::string>& arguments);

}  // namespace virtualmac
