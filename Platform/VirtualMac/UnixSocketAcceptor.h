#pragma once

#include <asio.hpp>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

namespace virtualmac {

// A Unix stream socket of the machine that every user may connect to (mode 0666, whatever the
// umask), accepting for as long as it is open and handing each connection over. An accept that
// fails (the machine out of descriptors or memory for a moment, which a user can bring about) is
// tried again after a short delay instead of spinning, with the connection waiting in the
// backlog meanwhile, so that the socket never goes deaf; the connections already handed over go
// on. Runs on the io_context's thread.
class UnixSocketAcceptor {
  public:
    using Serve = std::function<void(asio::local::stream_protocol::socket)>;
    // Where the first failure of a run of them is told, one line without its newline.
    using Log = std::function<void(const std::string&)>;

    static constexpr std::chrono::milliseconds kRetryDelay{100};

    // Binds `path`, replacing a socket file an earlier run left there, listens and starts
    // accepting. Throws std::system_error when the socket cannot be set up.
    UnixSocketAcceptor(asio::io_context& context, std::filesystem::path path, Serve serve, Log log);
    ~UnixSocketAcceptor();
    UnixSocketAcceptor(const UnixSocketAcceptor&) = delete;
    UnixSocketAcceptor& operator=(const UnixSocketAcceptor&) = delete;

    // Stops accepting and removes the socket file; a connection accepted meanwhile is closed.
    void close();

  private:
    void accept();

    asio::local::stream_protocol::acceptor acceptor_;
    asio::steady_timer retry_;
    std::filesystem::path path_;
    Serve serve_;
    Log log_;
    bool failing_ = false;
};

}  // namespace virtualmac
