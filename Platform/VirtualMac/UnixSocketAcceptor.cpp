#include "Platform/VirtualMac/UnixSocketAcceptor.h"

#include <sys/stat.h>

#include <cerrno>
#include <system_error>

namespace virtualmac {

void listenOnUnixSocket(asio::local::stream_protocol::acceptor& acceptor,
                        const std::filesystem::path& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    const asio::local::stream_protocol::endpoint endpoint(path.string());
    acceptor.open(endpoint.protocol());
    acceptor.bind(endpoint);
    // Every user may connect, whatever the umask: the machine decides per request who may ask
    // what.
    if (::chmod(path.c_str(), 0666) != 0) {
        throw std::system_error(errno, std::generic_category(), "chmod " + path.string());
    }
    acceptor.listen();
}

}  // namespace virtualmac
