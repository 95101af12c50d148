#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace ventrella::shell {

// SIGTERM, SIGINT and SIGHUP end the application as quitting does. The signals are blocked in
// the process's first thread before any other thread starts (block()), so that every thread
// inherits the mask and none is interrupted; a watcher reads them from a signalfd on the GUI
// thread. A program that starts processes of its own clears the mask in them (the mask survives
// exec): posix_spawnattr_setsigmask with an empty set and POSIX_SPAWN_SETSIGMASK.
class TerminationSignals : public QObject {
    Q_OBJECT

  public:
    // The first thing main does. Throws std::system_error when the mask cannot be set.
    static void block();

    // Watches the blocked signals on the GUI thread: the first one calls `onTerminate` with its
    // number, once; every later one is read and ignored, so a second signal during the orderly
    // termination changes nothing. Throws std::system_error when no signalfd can be made.
    explicit TerminationSignals(std::function<void(int signal)> onTerminate,
                                QObject* parent = nullptr);
    ~TerminationSignals() override;

    bool terminating() const { return terminating_; }

  private:
    void readSignals();

    std::function<void(int)> onTerminate_;
    int descriptor_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    bool terminating_ = false;
};

}  // namespace ventrella::shell
