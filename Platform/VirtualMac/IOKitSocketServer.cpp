#include "Platform/VirtualMac/IOKitSocketServer.h"

#include <array>
#include <map>
#include <set>
#include <system_error>

#include "Platform/IOKit/IOSocketProtocol.h"
#include "Platform/VirtualMac/MachineAccess.h"
#include "Platform/VirtualMac/UnixSocketAcceptor.h"

namespace virtualmac {

using platform::iokit::ClientID;
using platform::iokit::KernReturn;
using platform::iokit::UserClientDevice;
namespace ioframe = platform::iokit::ioframe;
using Devices = std::vector<std::shared_ptr<UserClientDevice>>;

class IOKitSocketServer::Session : public std::enable_shared_from_this<Session> {
  public:
    Session(asio::local::stream_protocol::socket socket, std::shared_ptr<Devices> devices,
            std::shared_ptr<platform::iokit::HIDBackend> hid, ConnectionShares::Share share)
        : share_(std::move(share)),
          socket_(std::move(socket)),
          devices_(std::move(devices)),
          hid_(std::move(hid)),
          privileged_(isPrivilegedPeer(socket_.native_handle())) {}

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
        const auto opcode = static_cast<ioframe::Opcode>(reader.u8());
        switch (opcode) {
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
                                 : matching[index]->openClient(type, client, privileged_);
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
                return handleHID(opcode, reader);
        }
        return reply.frame();
    }

    // A handle this session owns (`owned`) or borrowed from one of its lists, else 0.
    std::uint64_t ownedObject(std::uint64_t handle) const {
        return owned_.contains(handle) ? handle : 0;
    }
    std::uint64_t borrowedService(std::uint64_t handle) const {
        return borrowed_.contains(handle) ? handle : 0;
    }
    std::uint64_t keep(std::uint64_t handle) {
        if (handle != 0) {
            owned_.insert(handle);
        }
        return handle;
    }
    bool full() const { return owned_.size() >= kMaximumHIDObjectsPerSession; }

    std::vector<std::uint8_t> handleHID(ioframe::Opcode opcode, ioframe::Reader& reader) {
        ioframe::Writer reply;
        if (!hid_) {
            // No HID system: every call reads as "no object".
            reply.i32(platform::iokit::ioReturnNoDevice);
            return reply.frame();
        }
        reply.i32(platform::iokit::kernSuccess);
        switch (opcode) {
            case ioframe::Opcode::hidCreateClient:
                reader.finish();
                reply.u64(full() ? 0 : keep(hid_->createEventSystemClient()));
                break;
            case ioframe::Opcode::hidSetMatching: {
                const auto client = ownedObject(reader.u64());
                const std::size_t count = reader.u16();
                if (count > ioframe::kMaximumMatchingEntries) {
                    throw ioframe::MalformedFrame();
                }
                platform::iokit::HIDMatching matching;
                for (std::size_t index = 0; index < count; ++index) {
                    auto key = reader.text();
                    matching[std::move(key)] = reader.i64();
                }
                reader.finish();
                if (client != 0) {
                    hid_->setMatching(client, matching);
                }
                break;
            }
            case ioframe::Opcode::hidCopyServices: {
                const auto client = ownedObject(reader.u64());
                reader.finish();
                reply.u64(client == 0 || full() ? 0 : keep(hid_->copyServices(client)));
                break;
            }
            case ioframe::Opcode::hidServiceCount: {
                const auto list = ownedObject(reader.u64());
                reader.finish();
                reply.u32(list == 0 ? 0 : static_cast<std::uint32_t>(hid_->serviceCount(list)));
                break;
            }
            case ioframe::Opcode::hidServiceAt: {
                const auto list = ownedObject(reader.u64());
                const std::uint32_t index = reader.u32();
                reader.finish();
                const auto service = list == 0 ? 0 : hid_->serviceAt(list, index);
                if (service != 0) {
                    borrowed_.insert(service);
                }
                reply.u64(service);
                break;
            }
            case ioframe::Opcode::hidCopyProperty: {
                const auto service = borrowedService(reader.u64());
                const auto key = reader.text();
                reader.finish();
                reply.u64(service == 0 || full() ? 0 : keep(hid_->copyProperty(service, key)));
                break;
            }
            case ioframe::Opcode::hidPropertyValue: {
                const auto property = ownedObject(reader.u64());
                reader.finish();
                const auto value = property == 0 ? platform::iokit::HIDPropertyValue{}
                                                 : hid_->propertyValue(property);
                reply.u8(static_cast<std::uint8_t>(value.type)).text(value.text).f64(value.number);
                break;
            }
            case ioframe::Opcode::hidCopyEvent: {
                const auto service = borrowedService(reader.u64());
                const std::int64_t type = reader.i64();
                const std::uint32_t options = reader.u32();
                reader.finish();
                reply.u64(service == 0 || full() ? 0
                                                 : keep(hid_->copyEvent(service, type, options)));
                break;
            }
            case ioframe::Opcode::hidEventFloat: {
                const auto event = ownedObject(reader.u64());
                const std::uint32_t field = reader.u32();
                reader.finish();
                reply.f64(event == 0 ? 0.0 : hid_->eventFloatValue(event, field));
                break;
            }
            case ioframe::Opcode::hidRelease: {
                const auto object = ownedObject(reader.u64());
                reader.finish();
                if (object != 0) {
                    owned_.erase(object);
                    hid_->release(object);
                }
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
        if (hid_) {
            for (const auto object : owned_) {
                hid_->release(object);
            }
        }
        owned_.clear();
        borrowed_.clear();
    }

    ConnectionShares::Share share_;
    asio::local::stream_protocol::socket socket_;
    std::shared_ptr<Devices> devices_;
    std::shared_ptr<platform::iokit::HIDBackend> hid_;
    // Whether the peer that connected is root: the devices decide what that allows.
    const bool privileged_;
    std::set<std::uint64_t> owned_;
    std::set<std::uint64_t> borrowed_;
    std::array<std::uint8_t, ioframe::kHeaderSize> header_{};
    std::vector<std::uint8_t> body_;
    std::vector<std::uint8_t> reply_;
    std::map<std::uint64_t, OpenClient> clients_;
    std::uint64_t nextClient_ = 1;
};

IOKitSocketServer::IOKitSocketServer(asio::io_context& context,
                                     const std::filesystem::path& socketPath, Devices devices,
                                     std::shared_ptr<platform::iokit::HIDBackend> hid,
                                     UnixSocketAcceptor::Log log)
    : devices_(std::make_shared<Devices>(std::move(devices))),
      hid_(std::move(hid)),
      acceptor_(
          context, socketPath,
          [this](asio::local::stream_protocol::socket socket) { serve(std::move(socket)); },
          std::move(log)) {}

IOKitSocketServer::~IOKitSocketServer() {
    close();
}

void IOKitSocketServer::serve(asio::local::stream_protocol::socket socket) {
    // Over its user's share, the connection closes here.
    if (auto share = shares_.take(socket.native_handle())) {
        auto session =
            std::make_shared<Session>(std::move(socket), devices_, hid_, std::move(share));
        std::erase_if(sessions_, [](const auto& weak) { return weak.expired(); });
        sessions_.push_back(session);
        session->start();
    }
}

void IOKitSocketServer::close() {
    acceptor_.close();
    for (const auto& weak : sessions_) {
        if (auto session = weak.lock()) {
            session->stop();
        }
    }
    sessions_.clear();
}

}  // namespace virtualmac
