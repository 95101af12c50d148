#include "Support/LocalUser.h"

#include <grp.h>
#include <pwd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace ventrella::testsupport {

namespace fs = std::filesystem;

LocalUser LocalUser::named(const std::string& name) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr) {
        throw std::runtime_error("no local user " + name + " (scripts/setup creates it)");
    }
    LocalUser user{name, entry.pw_uid, entry.pw_gid, {}};
    int count = 64;
    user.groups.resize(static_cast<std::size_t>(count));
    if (::getgrouplist(name.c_str(), user.gid, user.groups.data(), &count) < 0) {
        user.groups.resize(static_cast<std::size_t>(count));
        ::getgrouplist(name.c_str(), user.gid, user.groups.data(), &count);
    }
    user.groups.resize(static_cast<std::size_t>(count));
    return user;
}

LocalUser LocalUser::application() {
    return named("ventrella-user");
}

std::vector<std::string> LocalUser::launcher() const {
    std::string groupList;
    for (const gid_t group : groups) {
        groupList += (groupList.empty() ? "" : ",") + std::to_string(group);
    }
    return {"/usr/bin/setpriv", "--reuid=" + std::to_string(uid), "--regid=" + std::to_string(gid),
            groupList.empty() ? "--clear-groups" : "--groups=" + groupList, "--"};
}

void LocalUser::becomeInThisThread() const {
    // The system calls themselves: the C library's wrappers would change every thread.
    if (::syscall(SYS_setgroups, groups.size(), groups.data()) != 0 ||
        ::syscall(SYS_setresgid, gid, gid, gid) != 0 ||
        ::syscall(SYS_setresuid, uid, uid, uid) != 0) {
        throw std::system_error(errno, std::generic_category(), "cannot become " + name);
    }
}

void LocalUser::handOver(const fs::path& path) const {
    if (::lchown(path.c_str(), uid, gid) != 0) {
        throw std::system_error(errno, std::generic_category(), "chown " + path.string());
    }
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(path, error))) {
        return;
    }
    for (const auto& entry : fs::recursive_directory_iterator(path)) {
        if (::lchown(entry.path().c_str(), uid, gid) != 0) {
            throw std::system_error(errno, std::generic_category(),
                                    "chown " + entry.path().string());
        }
    }
}

}  // namespace ventrella::testsupport
