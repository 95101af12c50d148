#include "Platform/VirtualMac/UnixSocketAcceptor.h"

#include <sys/stat.h>

#include <cerrno>
#include <system_error>

namespace virtualmac {

UnixSocketAcceptor::UnixSocketAcceptor(asio::io_context& context, std::filesystem::path path,
                                       Serve serve, Log log)
    : acceptor_(context),
      retry_(context),
      path_(std::move(path)),
      serve_(std::move(serve)),
      log_(std::move(log)) {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
    const asio::local::stream_protocol::endpoint endpoint(path_.string());
    acceptor_.open(endpoint.protocol());
    acceptor_.bind(endpoint);
    // Every user may connect, whatever the umask: the machine decides per request who may ask
    // what.
    if (::chmod(path_.c_str(), 0666) != 0) {
        throw std::system_error(errno, std::generic_category(), "chmod " + path_.string());
    }
    acceptor_.listen();
    accept();
}

UnixSocketAcceptor::~UnixSocketAcceptor() {
    close();
}

void UnixSocketAcceptor::close() {
    retry_.cancel();
    if (acceptor_.is_open()) {
        std::error_code ignored;
        acceptor_.close(ignored);
        std::filesystem::remove(path_, ignored);
    }
}

void UnixSocketAcceptor::accept() {
    acceptor_.async_accept(
        [this](std::error_code error, asio::local::stream_protocol::socket socket) {
            if (error == asio::error::operation_aborted || !acceptor_.is_open()) {
                return;  // closed
            }
            if (!error) {
                failing_ = false;
                serve_(std::move(socket));
                accept();
                return;
            }
            // Told once per run of failures: a user who keeps the machine short must not fill its
            // log.
            if (!failing_ && log_) {
                log_("cannot accept a connection on " + path_.filename().string() + " (" +
                     error.message() + "); trying again");
            }
            failing_ = true;
            retry_.expires_after(kRetryDelay);
            retry_.async_wait([this](std::error_code waited) {
                if (!waited && acceptor_.is_open()) {
                    accept();
                }
            });
        });
}

}  // namespace virtualmac
