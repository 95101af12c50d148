#include "Platform/VirtualMac/IOKitSocketServer.h"

#include <array>
#include <map>
#include <system_error>

#include "Platform/IOKit/IOSocketProtocol.h"

namespace virtualmac {

using platform::iokit::ClientID;
using platform::iokit::KernReturn;
using platform::iokit::UserClientDevice;
namespace ioframe = platform::iokit::ioframe;
using Devices = std::vector<std::shared_ptr<UserClientDevice>>;

class IOKitSocketServer::Session : public std::enable_shared_from_this<Session> {
  public:
    Session(asio::local::stream_protocol::socket socket, std::shared_ptr<Devices> devices)
        : socket_(std::move(socket)), devices_(std::move(devices)) {}

    ~Session() { closeClients(); }

    void start() { readHeader(); }

    void stop() {
        std::error_code ignored;
        socket_.close(ignored);
        closeClients();
    }

  private:
    struct OpenClient {
        std::shared_ptr<UserClientDevice> device;
        ClientID client = 0;
    };

    void readHeader() {
        asio::async_read(socket_, asio::buffer(header_),
                         [self = shared_from_this()](std::error_code error, std::size_t) {
                             if (error) {
                                 self->stop();
                                 return;
                             }
                             try {
                                 self->body_.resize(ioframe::bodyLength(self->header_));
                             } catch (const ioframe::MalformedFrame&) {
                                 self->stop();
                                 return;
                             }
                             self->readBody();
                         });
    }

    void readBody() {
        asio::async_read(socket_, asio::buffer(body_),
                         [self = shared_from_this()](std::error_code error, std::size_t) {
                             if (error) {
                                 self->stop();
                                 return;
                             }
                             try {
                                 self->reply_ = self->handle();
                             } catch (const ioframe::MalformedFrame&) {
                                 // A peer that breaks the protocol loses its session.
                                 self->stop();
                                 return;
                             }
                             self->writeReply();
                         });
    }

    void writeReply() {
        asio::async_write(socket_, asio::buffer(reply_),
                          [self = shared_from_this()](std::error_code error, std::size_t) {
                              if (error) {
                                  self->stop();
                                  return;
                              }
                              self->readHeader();
                          });
    }

    std::vector<std::shared_ptr<UserClientDevice>> devicesOfClass(std::string_view name) const {
        std::vector<std::shared_ptr<UserClientDevice>> matching;
        for (const auto& device : *devices_) {
            if (device->serviceClass() == name) {
                matching.push_back(device);
            }
        }
        return matching;
    }

    std::vector<std::uint8_t> handle() {
        ioframe::Reader reader(body_);
        ioframe::Writer reply;
        switch (static_cast<ioframe::Opcode>(reader.u8())) {
            case ioframe::Opcode::serviceCount: {
                const auto name = reader.text();
                reader.finish();
                reply.i32(platform::iokit::kernSuccess)
                    .u32(static_cast<std::uint32_t>(devicesOfClass(name).size()));
                break;
            }
            case ioframe::Opcode::openClient: {
                const auto name = reader.text();
                const std::uint32_t index = reader.u32();
                const std::uint32_t type = reader.u32();
                reader.finish();
                const auto matching = devicesOfClass(name);
                KernReturn result = platform::iokit::ioReturnNoDevice;
                std::uint64_t number = 0;
                if (index < matching.size()) {
                    ClientID client = 0;
                    result = clients_.size() >= kMaximumClientsPerSession
                                 ? platform::iokit::ioReturnExclusiveAccess
                                 : matching[index]->openClient(type, client);
                    if (result == platform::iokit::kernSuccess) {
                        number = nextClient_++;
                        clients_.emplace(number, OpenClient{matching[index], client});
                    }
                }
                reply.i32(result).u64(number);
                break;
            }
            case ioframe::Opcode::callStructMethod: {
                const std::uint64_t number = reader.u64();
                const std::uint32_t selector = reader.u32();
                const std::size_t capacity = reader.u32();
                const auto input = reader.bytes(ioframe::kMaximumStructSize);
                reader.finish();
                if (capacity > ioframe::kMaximumStructSize) {
                    throw ioframe::MalformedFrame();
                }
                const auto found = clients_.find(number);
                std::vector<std::uint8_t> output(capacity);
                std::size_t outputSize = 0;
                KernReturn result = platform::iokit::ioReturnNotOpen;
                if (found != clients_.end()) {
                    outputSize = capacity;
                    result = found->second.device->callStructMethod(found->second.client, selector,
                                                                    input, output, outputSize);
                    outputSize = std::min(outputSize, capacity);
                }
                output.resize(outputSize);
                reply.i32(result).bytes(output);
                break;
            }
            case ioframe::Opcode::closeClient: {
                const std::uint64_t number = reader.u64();
                reader.finish();
                const auto found = clients_.find(number);
                KernReturn result = platform::iokit::ioReturnNotOpen;
                if (found != clients_.end()) {
                    result = found->second.device->closeClient(found->second.client);
                    clients_.erase(found);
                }
                reply.i32(result);
                break;
            }
            default:
                throw ioframe::MalformedFrame();
        }
        return reply.frame();
    }

    void closeClients() {
        for (auto& [number, open] : clients_) {
            open.device->closeClient(open.client);
        }
        clients_.clear();
    }

    asio::local::stream_protocol::socket socket_;
    std::shared_ptr<Devices> devices_;
    std::array<std::uint8_t, ioframe::kHeaderSize> header_{};
    std::vector<std::uint8_t> body_;
    std::vector<std::uint8_t> reply_;
    std::map<std::uint64_t, OpenClient> clients_;
    std::uint64_t nextClient_ = 1;
};

IOKitSocketServer::IOKitSocketServer(asio::io_context& context,
                                     const std::filesystem::path& socketPath, Devices devices)
    : acceptor_(context),
      socketPath_(socketPath),
      devices_(std::make_shared<Devices>(std::move(devices))) {
    std::error_code ignored;
    std::filesystem::remove(socketPath_, ignored);
    const asio::local::stream_protocol::endpoint endpoint(socketPath_.string());
    acceptor_.open(endpoint.protocol());
    acceptor_.bind(endpoint);
    acceptor_.listen();
    accept();
}

IOKitSocketServer::~IOKitSocketServer() {
    close();
}

void IOKitSocketServer::accept() {
    acceptor_.async_accept(
        [this](std::error_code error, asio::local::stream_protocol::socket socket) {
            if (error) {
                return;  // closed
            }
            auto session = std::make_shared<Session>(std::move(socket), devices_);
            std::erase_if(sessions_, [](const auto& weak) { return weak.expired(); });
            sessions_.push_back(session);
            session->start();
            accept();
        });
}

void IOKitSocketServer::close() {
    std::error_code ignored;
    if (acceptor_.is_open()) {
        acceptor_.close(ignored);
        std::filesystem::remove(socketPath_, ignored);
    }
    for (const auto& weak : sessions_) {
        if (auto session = weak.lock()) {
            session->stop();
        }
    }
    sessions_.clear();
}

}  // namespace virtualmac
