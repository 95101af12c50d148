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

// The simulated Mac's /usr/bin/osascript: `osascript -e SOURCE` with that form asks the machine
// for administrator authorization and, when allowed, runs the script as root with /bin/zsh,
// passing its output and exit status on. Denied: one line naming the refusal and status 1.
// Cancelled: no output and status 1. Anything else: one error line and status 1.
int runOsascript(const std::vector<std::string>& arguments);

}  // namespace virtualmac
