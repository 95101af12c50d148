#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace platform::foundation {

// How a program ended and what it wrote to its standard output and error together.
struct ProcessOutput {
    // The exit status; 128 + the signal's number when a signal ended it.
    int terminationStatus = 0;
    std::string output;

    bool operator==(const ProcessOutput&) const = default;
};

// Runs `program` with `arguments` and this process's environment, no signal blocked or ignored
// (whatever the calling thread blocks or ignores), its standard input from /dev/null and its
// standard output and error joined in one pipe; reads that pipe to its end, then waits for the
// program. Only the pipe's write end reaches the program: every descriptor this side opens is
// close-on-exec, so a program started elsewhere in this process at the same time never holds
// the pipe open. Output past `maximumOutputBytes` is read and dropped. Throws std::system_error
// when the program cannot be started.
ProcessOutput runJoiningOutput(const std::filesystem::path& program,
                               const std::vector<std::string>& arguments);

inline constexpr std::size_t maximumOutputBytes = 1024 * 1024;

}  // namespace platform::foundation
