// A small program for the code-signing tests: announces itself on standard
// output, then waits for standard input to close. A line "exec PATH" replaces
// its image with PATH.

#include <unistd.h>

#include <cstdio>
#include <string>

namespace {
// The tests rewrite the digits of this marker to tamper with a copy of the image.
const char marker[] = "ventrella-probe-marker-0000";
}  // namespace

int main() {
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
        line.clear();
    }
    return 0;
}
