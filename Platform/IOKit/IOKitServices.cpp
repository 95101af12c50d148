#include "Platform/IOKit/IOKitServices.h"

#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <variant>

#include "Platform/IOKit/IOBackend.h"
#include "Platform/IOKit/SocketBackend.h"

namespace platform::iokit {

namespace {

struct IteratorObject {
    std::shared_ptr<IOBackend> backend;
    std::string className;
    std::size_t count = 0;
    std::size_t position = 0;
};

struct ServiceObject {
    std::shared_ptr<IOBackend> backend;
    std::string className;
    std::size_t index = 0;
};

struct ConnectionObject {
    std::shared_ptr<IOBackend> backend;
    ClientID client = 0;
};

using Object = std::variant<IteratorObject, ServiceObject, ConnectionObject>;

// The process's handle table and backend slot, as the kernel keeps them for a task.
struct Registry {
    std::mutex mutex;
    std::shared_ptr<IOBackend> backend;
    // Without an installed device the calls reach the simulated machine's process.
    std::shared_ptr<IOBackend> machineSocket = machineSocketBackend();
    std::map<IOObject, Object> objects;
    IOObject nextHandle = 0x1003;

    IOObject add(Object object) {
        const IOObject handle = nextHandle++;
        if (nextHandle == 0) {
            nextHandle = 1;
        }
        objects.emplace(handle, std::move(object));
        return handle;
    }

    // The object `handle` names when it is a T, else null. Under the lock.
    template <typename T>
    T* find(IOObject handle) {
        const auto found = objects.find(handle);
        return found == objects.end() ? nullptr : std::get_if<T>(&found->second);
    }
};

Registry& registry() {
    static Registry instance;
    return instance;
}

}  // namespace

std::shared_ptr<IOBackend> currentIOBackend() {
    auto& reg = registry();
    std::lock_guard lock(reg.mutex);
    return reg.backend ? reg.backend : reg.machineSocket;
}

std::shared_ptr<IOBackend> installIOBackend(std::shared_ptr<IOBackend> backend) {
    auto& reg = registry();
    std::lock_guard lock(reg.mutex);
    auto previous = std::move(reg.backend);
    reg.backend = std::move(backend);
    return previous;
}

KernReturn matchServices(std::string_view className, IOIterator& iterator) {
    auto backend = currentIOBackend();
    const std::size_t count = backend->serviceCount(className);
    auto& reg = registry();
    std::lock_guard lock(reg.mutex);
    iterator = reg.add(IteratorObject{std::move(backend), std::string(className), count, 0});
    return kernSuccess;
}

IOObject iteratorNext(IOIterator iterator) {
    auto& reg = registry();
    std::lock_guard lock(reg.mutex);
    auto* it = reg.find<IteratorObject>(iterator);
    if (it == nullptr || it->position >= it->count) {
        return 0;
    }
    ServiceObject service{it->backend, it->className, it->position++};
    return reg.add(std::move(service));
}

KernReturn releaseObject(IOObject object) {
    auto& reg = registry();
    std::lock_guard lock(reg.mutex);
    const auto found = reg.objects.find(object);
    if (found == reg.objects.end() || std::holds_alternative<ConnectionObject>(found->second)) {
        return ioReturnBadArgument;
    }
    reg.objects.erase(found);
    return kernSuccess;
}

KernReturn openService(IOService service, std::uint32_t connectionType, IOConnect& connect) {
    ServiceObject target;
    {
        auto& reg = registry();
        std::lock_guard lock(reg.mutex);
        const auto* object = reg.find<ServiceObject>(service);
        if (object == nullptr || !object->backend) {
            return ioReturnBadArgument;
        }
        target = *object;
    }
    ClientID client = 0;
    const KernReturn result =
        target.backend->openClient(target.className, target.index, connectionType, client);
    if (result != kernSuccess) {
        return result;
    }
    auto& reg = registry();
    std::lock_guard lock(reg.mutex);
    connect = reg.add(ConnectionObject{std::move(target.backend), client});
    return kernSuccess;
}

KernReturn callStructMethod(IOConnect connect, std::uint32_t selector, const void* input,
                            std::size_t inputSize, void* output, std::size_t* outputSize) {
    if ((input == nullptr && inputSize != 0) || outputSize == nullptr ||
        (output == nullptr && *outputSize != 0)) {
        return ioReturnBadArgument;
    }
    ConnectionObject target;
    {
        auto& reg = registry();
        std::lock_guard lock(reg.mutex);
        const auto* object = reg.find<ConnectionObject>(connect);
        if (object == nullptr) {
            return ioReturnNotOpen;
        }
        target = *object;
    }
    // The exchange runs outside the table's lock so that slow devices do not serialise
    // unrelated connections.
    std::span<const std::uint8_t> in(static_cast<const std::uint8_t*>(input), inputSize);
    std::span<std::uint8_t> out(static_cast<std::uint8_t*>(output), *outputSize);
    return target.backend->callStructMethod(target.client, selector, in, out, *outputSize);
}

KernReturn closeService(IOConnect connect) {
    ConnectionObject target;
    {
        auto& reg = registry();
        std::lock_guard lock(reg.mutex);
        const auto* object = reg.find<ConnectionObject>(connect);
        if (object == nullptr) {
            return ioReturnNotOpen;
        }
        target = *object;
        reg.objects.erase(connect);
    }
    return target.backend->closeClient(target.client);
}

}  // namespace platform::iokit
