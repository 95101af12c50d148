#include "ConnectionFixture.h"

#include <sys/stat.h>

#include <fstream>

namespace {

using namespace xpctest;

XPCError::Code resumeFailure(Listener& listener) {
    try {
        listener.resume();
    } catch (const XPCError& error) {
        return error.code();
    }
    ADD_FAILURE() << "resumed";
    return XPCError::Code::malformedMessage;
}

mode_t modeOf(const std::filesystem::path& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

TEST_F(ConnectionTests, SecondListenerFindsTheLiveOneAndLeavesItServing) {
    startListener();
    const auto path = listener_->socketPath();
    struct stat before {};
    ASSERT_EQ(::lstat(path.c_str(), &before), 0);

    Listener second(kService);
    second.setDelegate(delegate_);
    EXPECT_EQ(resumeFailure(second), XPCError::Code::serviceInUse);
    EXPECT_THROW(second.claim(), XPCError);
    struct stat after {};
    ASSERT_EQ(::lstat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the live listener's socket was replaced";
    auto connection = client();
    EXPECT_EQ(echo(connection, 1), "reply:1");
    closeAndWait(connection);

    // Once the first is gone, the name is free again.
    listener_.reset();
    second.resume();
    auto next = client();
    EXPECT_EQ(echo(next, 2), "reply:2");
    closeAndWait(next);
}

TEST_F(ConnectionTests, OnlyAStaleSocketIsReplaced) {
    const auto path = root_ / "var/run/xpc" / (kService + ".sock");
    std::filesystem::create_directories(path.parent_path());
    const auto elsewhere = root_ / "elsewhere";
    { std::ofstream(elsewhere) << "kept"; }

    struct Case {
        const char* name;
        std::function<void()> leaveBehind;
        bool replaced;
    };
    const Case cases[] = {
        {"socket of a process that ended",
         [&] {
             const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
             ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
             ::close(fd);
         },
         true},
        {"regular file", [&] { std::ofstream(path) << "not a socket"; }, false},
        {"link to a file", [&] { std::filesystem::create_symlink(elsewhere, path); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.leaveBehind();
        const auto kind = std::filesystem::symlink_status(path).type();
        auto listener = std::make_unique<Listener>(kService);
        listener->setDelegate(delegate_);
        if (c.replaced) {
            listener->resume();
            auto connection = client();
            EXPECT_EQ(echo(connection, 3), "reply:3");
            closeAndWait(connection);
            listener.reset();
            EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(path)));
        } else {
            EXPECT_EQ(resumeFailure(*listener), XPCError::Code::listenerSetupFailed);
            EXPECT_EQ(std::filesystem::symlink_status(path).type(), kind);
            std::filesystem::remove(path);
        }
    }
    std::ifstream in(elsewhere);
    std::string content;
    in >> content;
    EXPECT_EQ(content, "kept");
}

TEST_F(ConnectionTests, DirectorySocketAndLockGetTheirModesWhateverTheUmaskAndNeverThroughALink) {
    const auto directory = root_ / "var/run/xpc";
    const auto lock = directory / (kService + ".sock.lock");
    // A lock file another version left open to everyone is closed again.
    std::filesystem::create_directories(directory);
    std::ofstream(lock).close();
    std::filesystem::permissions(lock, std::filesystem::perms(0644));
    const mode_t saved = ::umask(0);
    startListener();
    ::umask(saved);
    EXPECT_EQ(modeOf(directory), 0755u);
    EXPECT_EQ(modeOf(listener_->socketPath()), 0666u);
    // Reading is all flock needs: nobody else may open the lock that holds the name.
    EXPECT_EQ(modeOf(lock), 0600u);
    listener_.reset();

    // A lock file of another user is not taken for this one's.
    ASSERT_EQ(::chown(lock.c_str(), kNobody, kNobody), 0) << "the suite runs as root";
    Listener foreignLock(kService);
    EXPECT_EQ(resumeFailure(foreignLock), XPCError::Code::listenerSetupFailed);
    std::filesystem::remove(lock);

    // The socket directory replaced by a link to another directory: nothing is set up there.
    std::filesystem::remove_all(directory);
    const auto target = root_ / "target";
    std::filesystem::create_directories(target);
    std::filesystem::permissions(target, std::filesystem::perms::owner_all);
    std::filesystem::create_symlink(target, directory);
    Listener linked(kService);
    EXPECT_EQ(resumeFailure(linked), XPCError::Code::listenerSetupFailed);
    EXPECT_EQ(modeOf(target), 0700u);
    EXPECT_TRUE(std::filesystem::is_empty(target));
}

}  // namespace
