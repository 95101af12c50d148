#pragma once

#include "Support/Eventually.h"

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct pollfd;

namespace ventrella::shelluitests {

// An X session manager of the simplest kind, as a desktop has one: it accepts clients on a
// local socket, and at the end of the session tells each of them to quit (the session
// protocol's Die message), as at logout. A program finds it through the SESSION_MANAGER
// variable (address()). It serves its clients on a thread of its own. One at a time in a
// process.
class SessionManager {
  public:
    // Listens; throws std::runtime_error when it cannot.
    SessionManager();
    ~SessionManager();

    SessionManager(const SessionManager&) = delete;
    SessionManager& operator=(const SessionManager&) = delete;

    // The value of SESSION_MANAGER that leads to it.
    const std::string& address() const { return address_; }

    // Waits until `count` clients have registered; false when they have not within `seconds`.
    bool waitForClients(std::size_t count,
                        double seconds = testsupport::eventDeadlineSeconds) const;

    // Ends the session: every registered client is told to quit.
    void endSession();

  private:
    struct Callbacks;
    struct Clients;
    void run();
    void serve(::pollfd* ready, std::size_t count);

    std::string address_;
    int wake_ = -1;
    // libICE's listening objects and connections; touched only on the thread once it runs.
    std::unique_ptr<Clients> clients_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::size_t registered_ = 0;
    bool endRequested_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace ventrella::shelluitests
