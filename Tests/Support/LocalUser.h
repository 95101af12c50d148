#pragma once

#include <sys/types.h>

#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

namespace ventrella::testsupport {

// A local account that tests run programs as: the ordinary user the application runs as
// (ventrella-user, which scripts/setup creates), or another user playing an attacker (nobody).
// Tests that start programs as another user run as root.
struct LocalUser {
    std::string name;
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;

    // Throws std::runtime_error when the account does not exist.
    static LocalUser named(const std::string& name);
    // The user the application runs as in the end-to-end and interface tests.
    static LocalUser application();

    // The words that start a program as this user (setpriv with the user's ids and groups),
    // to be followed by the program and its arguments.
    std::vector<std::string> launcher() const;

    // Makes the calling thread alone this user, for good: the files it creates, the sockets it
    // connects and the threads and programs it starts afterwards are the user's, while the rest
    // of the process stays as it was. Throws std::system_error.
    void becomeInThisThread() const;

    // Gives the file or folder, and everything in a folder, to this user.
    void handOver(const std::filesystem::path& path) const;
};

// Runs `work` on a thread of its own that is `user`, waits for it and returns what it returns
// (or throws what it throws).
template <class Work>
auto runAs(const LocalUser& user, Work work) -> std::invoke_result_t<Work&> {
    std::packaged_task<std::invoke_result_t<Work&>()> task([&] {
        user.becomeInThisThread();
        return work();
    });
    auto result = task.get_future();
    std::thread(std::move(task)).join();
    return result.get();
}

}  // namespace ventrella::testsupport
