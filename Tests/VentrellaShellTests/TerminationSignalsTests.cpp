#include "Ventrella/App/Shell/TerminationSignals.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <vector>

#include "UISupport/QtTestApplication.h"

namespace ventrella::shell {
namespace {

using uitest::QtTestApplication;

// Blocks the signals in this thread for the test and takes them back afterwards. The test sends
// them to this thread only, so no other thread of the process can take them.
class TerminationSignalsTest : public testing::Test {
  protected:
    void SetUp() override {
        QtTestApplication::ensure();
        pthread_sigmask(SIG_SETMASK, nullptr, &previous_);
        TerminationSignals::block();
    }
    void TearDown() override { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

    static void send(int number) { pthread_kill(pthread_self(), number); }

  private:
    sigset_t previous_{};
};

TEST_F(TerminationSignalsTest, TheFirstSignalTerminatesOnceAndLaterOnesAreIgnored) {
    for (const int first : {SIGTERM, SIGINT, SIGHUP}) {
        std::vector<int> received;
        TerminationSignals watcher([&](int number) { received.push_back(number); });
        EXPECT_FALSE(watcher.terminating());
        send(first);
        ASSERT_TRUE(QtTestApplication::processUntil([&] { return !received.empty(); }))
            << strsignal(first);
        send(SIGTERM);
        send(SIGINT);
        QtTestApplication::processUntil([] { return false; }, 0.05);
        EXPECT_EQ(received, std::vector<int>{first});
        EXPECT_TRUE(watcher.terminating());
        // Nothing is left pending for the next watcher.
        sigset_t pending;
        sigpending(&pending);
        EXPECT_FALSE(sigismember(&pending, SIGTERM) || sigismember(&pending, SIGINT));
    }
}

}  // namespace
}  // namespace ventrella::shell
