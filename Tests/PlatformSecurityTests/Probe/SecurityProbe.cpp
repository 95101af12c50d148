// A small program for the code-signing tests: announces itself on standard
// output, then waits for standard input to close. A line "exec PATH" replaces
// its image with PATH; a line "unshare-user" moves it into a user namespace of
// its own and announces it again.
//
// Like a client signed for the hardened runtime before it connects, it makes
// itself non-dumpable at once, unless PROBE_DUMPABLE=1 asks it to stay open.

#include <sched.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
// The tests rewrite the digits of this marker to tamper with a copy of the image.
const char marker[] = "ventrella-probe-marker-0000";
}  // namespace

int main() {
    const char* dumpable = std::getenv("PROBE_DUMPABLE");
    if (dumpable == nullptr || std::strcmp(dumpable, "1") != 0) {
        ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    }
    std::printf("ready %s\n", marker);
    std::fflush(stdout);
    std::string line;
    for (int c = std::getchar(); c != EOF; c = std::getchar()) {
        if (c != '\n') {
            line.push_back(static_cast<char>(c));
            continue;
        }
        if (line.rfind("exec ", 0) == 0) {
            std::string path = line.substr(5);
            char* const argv[] = {path.data(), nullptr};
            ::execv(path.c_str(), argv);
            return 3;
        }
        if (line == "unshare-user") {
            if (::unshare(CLONE_NEWUSER) != 0)
                return 4;
            std::printf("ready %s\n", marker);
            std::fflush(stdout);
        }
        line.clear();
    }
    return 0;
}
