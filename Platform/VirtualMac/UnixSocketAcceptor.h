#pragma once

#include <asio.hpp>
#include <filesystem>

namespace virtualmac {

// Binds `acceptor` to the Unix stream socket at `path`, replacing a socket file an earlier run
// left there, opens it to every user (mode 0666) and listens. Throws std::system_error when the
// socket cannot be set up.
void listenOnUnixSocket(asio::local::stream_protocol::acceptor& acceptor,
                        const std::filesystem::path& path);

}  // namespace virtualmac
