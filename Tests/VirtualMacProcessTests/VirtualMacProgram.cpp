#include "VirtualMacProgram.h"

#include "Support/ProcessState.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

namespace virtualmactest {

namespace {

std::string slurp(const std::filesystem::path& path) {
    std::ifstream stream(path);
    std::stringstream text;
    text << stream.rdbuf();
    return text.str();
}

}  // namespace

bool isRunning(pid_t pid) {
    return ventrella::testsupport::isProcessRunning(pid);
}

ProgramResult runProgram(const std::vector<std::string>& arguments,
                         const std::filesystem::path& scratch) {
    const auto outPath = scratch / "out.txt";
    const auto errPath = scratch / "err.txt";
    const pid_t child = ::fork();
    if (child == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        std::vector<char*> argv{const_cast<char*>(VIRTUAL_MAC_PROGRAM)};
        for (const auto& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(VIRTUAL_MAC_PROGRAM, argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(outPath), slurp(errPath)};
}

bool inChildProcess(const std::function<bool()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        bool passed = false;
        try {
            passed = body();
        } catch (...) {
        }
        ::_exit(passed ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace virtualmactest
