#include "SMCKit/SMCConnection.h"

#include "Platform/Foundation/Sysctl.h"

#include <sys/utsname.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "AppLog/AppLog.h"
#include "Platform/IOKit/IOKitServices.h"
#include "SMCKit/FourCharCode.h"
#include "SMCKit/SMCCommand.h"
#include "SMCKit/SMCError.h"

namespace ventrella::smc {

using applog::AppLog;
using applog::AppLogMessage;
using applog::pub;
namespace iokit = platform::iokit;

namespace {

constexpr std::uint32_t userClientType = 0;

const AppLog::Channel& channel() {
    static const AppLog::Channel instance = AppLog::make("SMCConnection");
    return instance;
}

// "-1ffffd44" for 0xe00002bc: the code as a signed number in hex, as the log line shows it.
std::string signedHex(std::int32_t code) {
    std::array<char, 16> text{};
    const auto end =
        std::to_chars(text.data(), text.data() + text.size(), static_cast<std::int64_t>(code), 16)
            .ptr;
    return std::string(text.data(), end);
}

std::string bytesText(const std::uint8_t* bytes, std::size_t count) {
    std::string text = "[";
    for (std::size_t index = 0; index < std::min<std::size_t>(count, 4); ++index) {
        std::array<char, 8> byte{};
        std::snprintf(byte.data(), byte.size(), "0x%02x", bytes[index]);
        if (index > 0) {
            text += " ";
        }
        text += byte.data();
    }
    return text + "]";
}

std::string operatingSystemVersion() {
    utsname name{};
    if (uname(&name) != 0) {
        return "";
    }
    return name.release;
}

SMCParamStruct command(std::uint32_t key, SMCCommand command) {
    SMCParamStruct record{};
    record.key = key;
    record.data8 = static_cast<std::uint8_t>(command);
    return record;
}

// Logs a failed read or write at error level and throws the firmware's code, or the generic
// error for a result byte that has no name.
[[noreturn]] void throwFirmwareFailure(const char* event, const std::string& key,
                                       std::uint8_t result) {
    if (const auto code = smcResultCode(result)) {
        channel().error(AppLogMessage()
                        << event << " key=" << pub(key) << " firmware=" << pub(description(*code)));
        throw SMCError::firmware(*code);
    }
    channel().error(AppLogMessage() << event << " key=" << pub(key) << " result=unknown");
    throw SMCError::firmware(SMCResultCode::error);
}

}  // namespace

SMCConnection::SMCConnection() {
    iokit::IOIterator iterator = 0;
    if (iokit::matchServices("AppleSMC", iterator) != iokit::kernSuccess) {
        throw SMCError::connectionFailed();
    }
    const iokit::IOService service = iokit::iteratorNext(iterator);
    if (service == 0) {
        iokit::releaseObject(iterator);
        throw SMCError::connectionFailed();
    }
    iokit::IOConnect connect = 0;
    if (iokit::openService(service, userClientType, connect) != iokit::kernSuccess) {
        iokit::releaseObject(service);
        iokit::releaseObject(iterator);
        throw SMCError::connectionFailed();
    }
    connection_ = connect;
    channel().debug(AppLogMessage() << "smc.connected conn=" << pub(connection_)
                                    << " model=" << pub(hardwareModel())
                                    << " os=" << pub(operatingSystemVersion()));
    iokit::releaseObject(service);
    iokit::releaseObject(iterator);
}

SMCConnection::~SMCConnection() {
    iokit::closeService(connection_);
}

std::uint32_t SMCConnection::fourCharCode(const std::string& text) const {
    return smc::fourCharCode(text);
}

SMCParamStruct SMCConnection::callSMC(const SMCParamStruct& input) {
    std::array<std::uint8_t, sizeof(SMCParamStruct)> in{};
    std::array<std::uint8_t, sizeof(SMCParamStruct)> out{};
    std::memcpy(in.data(), &input, in.size());
    std::size_t outputSize = out.size();
    auto code =
        iokit::callStructMethod(connection_, static_cast<std::uint32_t>(SMCCommand::kernelIndex),
                                in.data(), in.size(), out.data(), &outputSize);
    if (code == iokit::kernSuccess && outputSize < out.size()) {
        // A short record would read as zeros: a result of success for a call that never
        // answered.
        code = iokit::ioReturnUnderrun;
    }
    if (code != iokit::kernSuccess) {
        channel().error(AppLogMessage() << "smc.iokit.error result=" << pub(signedHex(code)));
        throw SMCError::ioKit(code);
    }
    SMCParamStruct output{};
    std::memcpy(&output, out.data(), out.size());
    return output;
}

SMCKeyInfoExchange SMCConnection::fetchKeyInfo(const std::string& key) {
    const auto param = command(smc::fourCharCode(key), SMCCommand::readKeyInfo);
    const auto output = callSMC(param);
    if (output.result == 0) {
        const std::uint32_t size = output.keyInfo.dataSize;
        channel().debug(AppLogMessage() << "smc.keyinfo key=" << pub(key) << " size=" << pub(size)
                                        << " type=" << pub(fourCharASCII(output.keyInfo.dataType)));
        return {param, output};
    }
    if (const auto code = smcResultCode(output.result)) {
        // A missing key is an ordinary answer for the layers that probe, hence debug.
        channel().debug(AppLogMessage() << "smc.keyinfo.result key=" << pub(key)
                                        << " result=" << pub(description(*code)));
        throw SMCError::firmware(*code);
    }
    channel().error(AppLogMessage() << "smc.keyinfo.failed key=" << pub(key) << " result=unknown");
    throw SMCError::firmware(SMCResultCode::error);
}

SMCKeyValue SMCConnection::readKey(const std::string& key) {
    const auto info = fetchKeyInfo(key);
    const std::uint32_t size = info.output.keyInfo.dataSize;
    auto request = info.param;
    request.keyInfo.dataSize = size;
    request.data8 = static_cast<std::uint8_t>(SMCCommand::readBytes);
    const auto output = callSMC(request);
    // A failed read leaves zero bytes in the record; decoding those would pass for a real
    // value (mode 0 reads as automatic), so the firmware's answer is checked here.
    if (output.result != 0) {
        throwFirmwareFailure("smc.read.failed", key, output.result);
    }
    const auto count = std::min<std::size_t>(size, output.bytes.size());
    SMCKeyValue value{{output.bytes.begin(), output.bytes.begin() + count}, size};
    channel().debug(AppLogMessage() << "smc.read key=" << pub(key) << " size=" << pub(size)
                                    << " bytes=" << pub(bytesText(value.bytes.data(), count)));
    return value;
}

void SMCConnection::writeKey(const std::string& key, const std::vector<std::uint8_t>& bytes) {
    channel().debug(AppLogMessage() << "smc.write key=" << pub(key)
                                    << " bytes=" << pub(bytesText(bytes.data(), bytes.size())));
    const auto info = fetchKeyInfo(key);
    auto request = info.param;
    request.keyInfo.dataSize = info.output.keyInfo.dataSize;
    request.data8 = static_cast<std::uint8_t>(SMCCommand::writeBytes);
    request.bytes.fill(0);
    std::copy_n(bytes.begin(), std::min(bytes.size(), request.bytes.size()), request.bytes.begin());
    const auto output = callSMC(request);
    if (output.result != 0) {
        throwFirmwareFailure("smc.write.failed", key, output.result);
    }
    channel().debug(AppLogMessage() << "smc.write.succeeded key=" << pub(key));
}

SMCKeyMetadata SMCConnection::metadata(const std::string& key) {
    const auto info = fetchKeyInfo(key);
    return SMCKeyMetadata{info.output.keyInfo.dataSize, fourCharUTF8(info.output.keyInfo.dataType),
                          info.output.keyInfo.dataAttributes};
}

std::vector<std::string> SMCConnection::enumerateKeys() {
    SMCKeyValue count;
    try {
        count = readKey("#KEY");
    } catch (const SMCError&) {
        channel().error("smc.enumerate.failed reason=count-read-failed");
        return {};
    }
    std::uint32_t total = 0;
    if (count.bytes.size() >= 4) {
        total = static_cast<std::uint32_t>(count.bytes[0]) << 24 |
                static_cast<std::uint32_t>(count.bytes[1]) << 16 |
                static_cast<std::uint32_t>(count.bytes[2]) << 8 | count.bytes[3];
    }
    channel().debug(AppLogMessage() << "smc.enumerate.start total=" << pub(total));
    // A corrupt count must not turn into billions of calls.
    const std::uint32_t limit = std::min(total, maximumEnumeratedKeys);
    std::vector<std::string> names;
    names.reserve(limit);
    for (std::uint32_t index = 0; index < limit; ++index) {
        auto request = command(0, SMCCommand::readIndex);
        request.data32 = index;
        try {
            names.push_back(fourCharScalars(callSMC(request).key));
        } catch (const SMCError&) {
            // callSMC has logged the IOKit error; the index is skipped.
        }
    }
    channel().debug(AppLogMessage() << "smc.enumerate.done count=" << pub(names.size()));
    return names;
}

std::string SMCConnection::hardwareModel() {
    std::size_t size = 0;
    if (platform::foundation::sysctlByName("hw.model", nullptr, &size) != 0 || size == 0) {
        return "";
    }
    std::vector<char> value(size, '\0');
    if (platform::foundation::sysctlByName("hw.model", value.data(), &size) != 0) {
        return "";
    }
    const auto end = std::find(value.begin(), value.begin() + std::min(size, value.size()), '\0');
    return std::string(value.begin(), end);
}

}  // namespace ventrella::smc
