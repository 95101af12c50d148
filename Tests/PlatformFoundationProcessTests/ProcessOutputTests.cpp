#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <ostream>
#include <string>
#include <system_error>
#include <vector>

#include "Platform/Foundation/ProcessOutput.h"

namespace platform::foundation {
void PrintTo(const ProcessOutput& outcome, std::ostream* out) {
    *out << "{" << outcome.terminationStatus << ", \"" << outcome.output << "\"}";
}

namespace {

ProcessOutput shell(const std::string& script) {
    return runJoiningOutput("/bin/sh", {"-c", script});
}

std::size_t openDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

TEST(ProcessOutput, JoinsOutputAndErrorAndReportsHowTheProgramEnded) {
    struct Case {
        std::string script;
        ProcessOutput expected;
    };
    const std::vector<Case> cases = {
        {"echo out; echo err >&2; echo out again", {0, "out\nerr\nout again\n"}},
        {"printf 'refused'; exit 3", {3, "refused"}},
        {"printf '\\377\\376'", {0, "\xFF\xFE"}},
        {"read line || echo end of input", {0, "end of input\n"}},
        {"kill -9 $$", {128 + 9, ""}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(shell(c.script), c.expected) << c.script;
    }
}

TEST(ProcessOutput, TheProgramGetsNoDescriptorButItsOwnThree) {
    // A descriptor of this process that is not close-on-exec, as a library might leave one.
    const int stray = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(stray, 0);
    const std::size_t before = openDescriptors();
    const auto ended = shell(
        "for fd in 3 4 5 6 7 8 9 10 11 12; do [ -e /proc/$$/fd/$fd ] && echo open $fd; done; "
        "true");
    EXPECT_EQ(ended, (ProcessOutput{0, ""}));
    EXPECT_EQ(openDescriptors(), before) << "the pipe was left open here";
    ::close(stray);
}

TEST(ProcessOutput, TheProgramStartsWithNoSignalBlockedOrIgnored) {
    // As the application has it: its termination signals blocked in every thread, and a
    // signal ignored.
    sigset_t blocked;
    sigemptyset(&blocked);
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        sigaddset(&blocked, number);
    }
    sigset_t previousMask;
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &blocked, &previousMask), 0);
    const auto previousDisposition = std::signal(SIGUSR2, SIG_IGN);
    // The script reads its own state; of the standard signals, since the C library keeps its
    // own real-time ones ignored in a child it starts.
    const auto ended = shell(
        "while read -r name value; do case $name in SigBlk:|SigIgn:) "
        "echo \"$name $(( 0x$value & 0x7fffffff ))\";; esac; done < /proc/self/status");
    std::signal(SIGUSR2, previousDisposition);
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    EXPECT_EQ(ended, (ProcessOutput{0, "SigBlk: 0\nSigIgn: 0\n"}));
}

TEST(ProcessOutput, DrainsOutputBeyondTheBoundWithoutKeepingIt) {
    const auto ended = shell("head -c 3000000 /dev/zero; exit 4");
    EXPECT_EQ(ended.terminationStatus, 4);
    EXPECT_EQ(ended.output.size(), maximumOutputBytes);
}

TEST(ProcessOutput, AProgramThatCannotStartThrows) {
    try {
        runJoiningOutput("/nonexistent/osascript", {"-e", "beep"});
        ADD_FAILURE() << "no error";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code(), std::error_code(ENOENT, std::generic_category()));
    }
}

}  // namespace
}  // namespace platform::foundation
