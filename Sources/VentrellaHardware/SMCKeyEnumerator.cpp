#include "VentrellaHardware/SMCKeyEnumerator.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>

#include "Platform/IOKit/IOKitServices.h"
#include "SMCKit/SMCCommand.h"
#include "SMCKit/SMCConnection.h"
#include "SMCKit/SMCError.h"
#include "SMCKit/SMCParamStruct.h"

namespace ventrella::hardware {

namespace iokit = platform::iokit;
using smc::SMCCommand;
using smc::SMCParamStruct;

namespace {

constexpr std::uint32_t userClientType = 0;

// The key count as the SMC reports it, or 0 when it cannot be read or is out of bounds.
std::uint32_t readKeyCount() {
    smc::SMCKeyValue value;
    try {
        smc::SMCConnection counter;
        value = counter.readKey("#KEY");
    } catch (const std::exception&) {
        return 0;
    }
    if (value.size != 4 || value.bytes.size() < 4) {
        return 0;
    }
    const std::uint32_t count = static_cast<std::uint32_t>(value.bytes[0]) << 24 |
                                static_cast<std::uint32_t>(value.bytes[1]) << 16 |
                                static_cast<std::uint32_t>(value.bytes[2]) << 8 | value.bytes[3];
    return count <= SMCKeyEnumerator::maximumKeyCount ? count : 0;
}

}  // namespace

SMCKeyEnumerator::SMCKeyEnumerator() {
    iokit::IOIterator iterator = 0;
    if (iokit::matchServices("AppleSMC", iterator) != iokit::kernSuccess) {
        throw smc::SMCError::connectionFailed();
    }
    const iokit::IOService service = iokit::iteratorNext(iterator);
    iokit::releaseObject(iterator);
    if (service == 0) {
        throw smc::SMCError::connectionFailed();
    }
    iokit::IOConnect connect = 0;
    const auto opened = iokit::openService(service, userClientType, connect);
    iokit::releaseObject(service);
    if (opened != iokit::kernSuccess) {
        throw smc::SMCError::connectionFailed();
    }
    connection_ = connect;
}

SMCKeyEnumerator::~SMCKeyEnumerator() {
    iokit::closeService(connection_);
}

std::vector<std::string> SMCKeyEnumerator::enumerateKeys() const {
    const std::uint32_t count = readKeyCount();
    std::vector<std::string> names;
    names.reserve(count);
    for (std::uint32_t index = 0; index < count; ++index) {
        SMCParamStruct request{};
        request.data8 = static_cast<std::uint8_t>(SMCCommand::readIndex);
        request.data32 = index;
        std::array<std::uint8_t, sizeof(SMCParamStruct)> output{};
        std::size_t outputSize = output.size();
        const auto code = iokit::callStructMethod(
            connection_, static_cast<std::uint32_t>(SMCCommand::kernelIndex), &request,
            sizeof(request), output.data(), &outputSize);
        // A short reply would read as a zero key with a result of success.
        if (code != iokit::kernSuccess || outputSize < output.size()) {
            continue;
        }
        SMCParamStruct reply{};
        std::memcpy(&reply, output.data(), sizeof(reply));
        if (reply.result != 0) {
            continue;
        }
        std::string name;
        bool ascii = true;
        for (const int shift : {24, 16, 8, 0}) {
            const auto byte = static_cast<std::uint8_t>(reply.key >> shift);
            ascii = ascii && byte < 0x80;
            name.push_back(static_cast<char>(byte));
        }
        if (ascii) {
            names.push_back(std::move(name));
        }
    }
    // Byte order is code-point order for ASCII, so this is the ordinal sort.
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

}  // namespace ventrella::hardware
