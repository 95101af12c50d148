// Behaves in one way until its standard input ends, so that what that costs can be measured:
//   cost-probe idle|busy|waker|memory|threads|churn|steps
// It prints "ready <pid>" once it behaves so. "steps" does what each line of its input asks and
// answers "done" once it has: "spin MS" uses MS milliseconds of its CPU time, "sleep N" sleeps
// N times for a millisecond, "start" starts a thread that waits, "end" ends the last one started.

#include <poll.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <future>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void ready() {
    say("ready " + std::to_string(::getpid()));
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

std::chrono::nanoseconds cpuTime() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// A thread that waits until it is let go.
class WaitingThread {
  public:
    WaitingThread()
        : thread_([this] {
              std::unique_lock lock(mutex_);
              changed_.wait(lock, [this] { return released_; });
          }) {}
    ~WaitingThread() {
        {
            std::lock_guard lock(mutex_);
            released_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool released_ = false;
    std::thread thread_;
};

int steps() {
    ready();
    std::vector<std::unique_ptr<WaitingThread>> threads;
    std::string command;
    while (std::cin >> command) {
        if (command == "spin") {
            long milliseconds = 0;
            std::cin >> milliseconds;
            // Mostly in user space: reading the clock is a system call.
            const auto until = cpuTime() + std::chrono::milliseconds(milliseconds);
            volatile unsigned long long spin = 0;
            while (cpuTime() < until) {
                for (int i = 0; i < 100000; ++i)
                    spin = spin + 1;
            }
        } else if (command == "sleep") {
            int times = 0;
            std::cin >> times;
            for (int i = 0; i < times; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        } else if (command == "start") {
            threads.push_back(std::make_unique<WaitingThread>());
        } else if (command == "end" && !threads.empty()) {
            threads.pop_back();
        } else {
            std::fprintf(stderr, "unknown step: %s\n", command.c_str());
            return 2;
        }
        say("done");
    }
    return 0;
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
    } else if (mode == "steps") {
        return steps();
    } else {
        std::fprintf(stderr, "usage: cost-probe idle|busy|waker|memory|threads|churn|steps\n");
        return 2;
    }
    return 0;
}
