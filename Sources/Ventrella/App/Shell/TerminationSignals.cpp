#include "Ventrella/App/Shell/TerminationSignals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <system_error>

namespace ventrella::shell {

namespace {

sigset_t terminationSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    return set;
}

}  // namespace

void TerminationSignals::block() {
    const sigset_t set = terminationSet();
    if (const int error = pthread_sigmask(SIG_BLOCK, &set, nullptr); error != 0) {
        throw std::system_error(error, std::generic_category(), "pthread_sigmask");
    }
}

TerminationSignals::TerminationSignals(std::function<void(int)> onTerminate, QObject* parent)
    : QObject(parent), onTerminate_(std::move(onTerminate)) {
    const sigset_t set = terminationSet();
    descriptor_ = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (descriptor_ < 0) {
        throw std::system_error(errno, std::generic_category(), "signalfd");
    }
    notifier_ = new QSocketNotifier(descriptor_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::readSignals);
}

TerminationSignals::~TerminationSignals() {
    delete notifier_;
    ::close(descriptor_);
}

void TerminationSignals::readSignals() {
    signalfd_siginfo info{};
    for (;;) {
        const ssize_t count = ::read(descriptor_, &info, sizeof info);
        if (count != static_cast<ssize_t>(sizeof info)) {
            // EAGAIN: all read. EINTR cannot stop a read that waits for nothing.
            return;
        }
        if (terminating_) {
            continue;
        }
        terminating_ = true;
        if (onTerminate_) {
            onTerminate_(static_cast<int>(info.ssi_signo));
        }
    }
}

}  // namespace ventrella::shell
