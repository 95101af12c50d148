#include "Platform/VirtualMac/UnixSocketAcceptor.h"

#include <system_error>

namespace virtualmac {

void listenOnUnixSocket(asio::local::stream_protocol::acceptor& acceptor,
                        const std::filesystem::path& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    const asio::local::stream_protocol::endpoint endpoint(path.string());
    acceptor.open(endpoint.protocol());
    acceptor.bind(endpoint);
    acceptor.listen();
}

}  // namespace virtualmac
