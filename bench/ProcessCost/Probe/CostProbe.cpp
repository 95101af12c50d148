// Behaves in one way until its standard input ends, so that a test can measure what that costs:
//   cost-probe idle|busy|waker|memory|threads|churn
// It prints "ready <pid>" once it behaves so.

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace {

void ready() {
    std::printf("ready %d\n", static_cast<int>(::getpid()));
    std::fflush(stdout);
}

// True once standard input has ended, after waiting at most `milliseconds` for it.
bool inputEnded(int milliseconds) {
    pollfd input{0, POLLIN, 0};
    if (::poll(&input, 1, milliseconds) <= 0)
        return false;
    char byte = 0;
    return ::read(0, &byte, 1) <= 0;
}

void waitForEndOfInput() {
    while (!inputEnded(-1)) {
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "idle") {
        ready();
        waitForEndOfInput();
    } else if (mode == "busy") {
        ready();
        volatile unsigned long long spin = 0;
        do {
            for (int i = 0; i < 1000000; ++i)
                spin = spin + 1;
        } while (!inputEnded(0));
    } else if (mode == "waker") {
        ready();
        while (!inputEnded(2)) {
        }
    } else if (mode == "memory") {
        // 64 MiB touched and handed back: the peak stays, the resident size falls.
        const std::size_t size = 64 << 20;
        void* block =
            ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (block == MAP_FAILED)
            return 1;
        std::memset(block, 1, size);
        ::munmap(block, size);
        ready();
        waitForEndOfInput();
    } else if (mode == "threads") {
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        std::vector<std::thread> threads;
        for (int i = 0; i < 3; ++i)
            threads.emplace_back([released] { released.wait(); });
        ready();
        waitForEndOfInput();
        release.set_value();
        for (auto& thread : threads)
            thread.join();
    } else if (mode == "churn") {
        // One short-lived thread after another, each sleeping once.
        ready();
        do {
            std::thread([] { std::this_thread::sleep_for(std::chrono::milliseconds(30)); }).join();
        } while (!inputEnded(0));
    } else {
        std::fprintf(stderr, "usage: cost-probe idle|busy|waker|memory|threads|churn\n");
        return 2;
    }
    return 0;
}
