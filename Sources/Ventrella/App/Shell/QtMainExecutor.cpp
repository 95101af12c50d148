#include "Ventrella/App/Shell/QtMainExecutor.h"

#include <QMetaObject>
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "Platform/Foundation/Clock.h"

namespace ventrella::shell {

namespace {

// Bounds one wait, so that a clock that does not run with the timer's (one that counts
// suspended time) still runs its jobs soon after they are due.
constexpr double longestWaitSeconds = 1.0;

}  // namespace

QtMainExecutor::QtMainExecutor(std::function<double()> uptimeClock)
    : uptimeClock_(uptimeClock
                       ? std::move(uptimeClock)
                       : std::function<double()>(platform::foundation::systemUptimeSeconds)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, &receiver_, [this] { runDueJobs(); });
}

QtMainExecutor::~QtMainExecutor() = default;

void QtMainExecutor::post(Job job) {
    QMetaObject::invokeMethod(&receiver_, std::move(job), Qt::QueuedConnection);
}

void QtMainExecutor::postAt(double deadline, Job job) {
    {
        std::lock_guard lock(mutex_);
        // NaN would break the order of the jobs; it is due at once.
        timed_.emplace(std::isnan(deadline) ? -std::numeric_limits<double>::infinity() : deadline,
                       std::move(job));
    }
    // The timer belongs to the GUI thread: it is armed there, after the jobs posted before.
    QMetaObject::invokeMethod(
        &receiver_, [this] { runDueJobs(); }, Qt::QueuedConnection);
}

double QtMainExecutor::uptime() const {
    return uptimeClock_();
}

void QtMainExecutor::runDetached(Job work) {
    workers_.start(std::move(work));
}

void QtMainExecutor::runDueJobs() {
    // The jobs due now; those they schedule run in a later step, so that the loop keeps turning.
    std::vector<Job> due;
    {
        std::lock_guard lock(mutex_);
        const double now = uptimeClock_();
        while (!timed_.empty() && !(timed_.begin()->first > now)) {
            due.push_back(std::move(timed_.begin()->second));
            timed_.erase(timed_.begin());
        }
    }
    for (Job& job : due) {
        job();
    }
    armTimer();
}

void QtMainExecutor::armTimer() {
    double wait = 0.0;
    {
        std::lock_guard lock(mutex_);
        if (timed_.empty()) {
            timer_.stop();
            return;
        }
        wait = timed_.begin()->first - uptimeClock_();
    }
    wait = std::clamp(wait, 0.0, longestWaitSeconds);
    timer_.start(static_cast<int>(std::ceil(wait * 1000.0)));
}

}  // namespace ventrella::shell
