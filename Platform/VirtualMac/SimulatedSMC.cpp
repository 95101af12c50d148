#include "Platform/VirtualMac/SimulatedSMC.h"

#include <algorithm>

#include "Platform/VirtualMac/SMCFirmwareResult.h"

namespace virtualmac {

using platform::iokit::ClientID;
using platform::iokit::KernReturn;

namespace {

std::vector<std::uint8_t> bigEndian32(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

}  // namespace

KernReturn SimulatedSMC::openClient(std::uint32_t connectionType, ClientID& client) {
    return openClient(connectionType, client, true);
}

KernReturn SimulatedSMC::openClient(std::uint32_t, ClientID& client, bool privileged) {
    Lock lock(mutex_);
    if (failingOpenCode_ != platform::iokit::kernSuccess) {
        return failingOpenCode_;
    }
    client = nextClient_++;
    openClients_.insert(client);
    if (!privileged) {
        unprivilegedClients_.insert(client);
    }
    return platform::iokit::kernSuccess;
}

KernReturn SimulatedSMC::closeClient(ClientID client) {
    Lock lock(mutex_);
    unprivilegedClients_.erase(client);
    return openClients_.erase(client) == 1 ? platform::iokit::kernSuccess
                                           : platform::iokit::ioReturnNotOpen;
}

std::size_t SimulatedSMC::openClientCount() const {
    Lock lock(mutex_);
    return openClients_.size();
}

KernReturn SimulatedSMC::callStructMethod(ClientID client, std::uint32_t selector,
                                          std::span<const std::uint8_t> input,
                                          std::span<std::uint8_t> output, std::size_t& outputSize) {
    Lock lock(mutex_);
    SMCJournalEntry entry;
    entry.client = client;
    entry.selector = selector;
    if (input.size() == SMCCallRecord::size) {
        const auto request = SMCCallRecord::decode(input.first<SMCCallRecord::size>());
        entry.command = request.command;
        entry.key = smcText(request.key);
        entry.index = request.data32;
    }
    const auto finish = [&](KernReturn code) {
        entry.kernReturn = code;
        if (journalLimit_ > 0 && journal_.size() >= 2 * journalLimit_) {
            // Trimmed in batches so that each call stays cheap.
            journal_.erase(journal_.begin(),
                           journal_.end() - static_cast<std::ptrdiff_t>(journalLimit_ - 1));
        }
        journal_.push_back(std::move(entry));
        return code;
    };
    if (failingCallCount_ > 0) {
        if (callsBeforeFailing_ > 0) {
            --callsBeforeFailing_;
        } else {
            --failingCallCount_;
            return finish(failingCallCode_);
        }
    }
    if (!openClients_.contains(client)) {
        return finish(platform::iokit::ioReturnNotOpen);
    }
    if (selector != smccommand::selector || input.size() != SMCCallRecord::size ||
        outputSize < SMCCallRecord::size || output.size() < SMCCallRecord::size) {
        return finish(platform::iokit::ioReturnBadArgument);
    }
    const auto request = SMCCallRecord::decode(input.first<SMCCallRecord::size>());
    if (request.command == smccommand::writeBytes && unprivilegedClients_.contains(client)) {
        return finish(platform::iokit::ioReturnNotPrivileged);
    }
    SMCCallRecord reply = request;
    reply.result = execute(request, reply);
    if (request.command == smccommand::writeBytes) {
        const auto count = std::min<std::size_t>(request.dataSize, SMCCallRecord::bytesCapacity);
        entry.bytes.assign(request.bytes.begin(), request.bytes.begin() + count);
    }
    entry.result = reply.result;
    const auto raw = reply.encode();
    std::copy(raw.begin(), raw.end(), output.begin());
    outputSize = SMCCallRecord::size;
    return finish(platform::iokit::kernSuccess);
}

std::uint8_t SimulatedSMC::execute(const SMCCallRecord& input, SMCCallRecord& output) {
    if (input.command != smccommand::readIndex) {
        const auto injected = injectedResults_.find(input.key);
        if (injected != injectedResults_.end()) {
            return injected->second;
        }
    }
    switch (input.command) {
        case smccommand::readKeyInfo: {
            const auto* key = findKey(smcText(input.key));
            if (key == nullptr) {
                return smcresult::notFound;
            }
            output.dataSize = static_cast<std::uint32_t>(key->bytes.size());
            output.dataType = smcCode(key->dataType);
            output.dataAttributes = key->attributes();
            return smcresult::success;
        }
        case smccommand::readBytes: {
            const auto* key = findKey(smcText(input.key));
            if (key == nullptr) {
                return smcresult::notFound;
            }
            if (!key->readable) {
                return smcresult::notReadable;
            }
            if (input.dataSize != key->bytes.size()) {
                return smcresult::keySizeMismatch;
            }
            output.bytes.fill(0);
            const auto count = std::min(key->bytes.size(), output.bytes.size());
            std::copy_n(key->bytes.begin(), count, output.bytes.begin());
            return smcresult::success;
        }
        case smccommand::writeBytes:
            return executeWrite(input);
        case smccommand::readIndex: {
            if (input.data32 >= keys_.size()) {
                return smcresult::badArgumentError;
            }
            output.key = std::next(keys_.begin(), input.data32)->first;
            return smcresult::success;
        }
        default:
            return smcresult::badCommand;
    }
}

std::uint8_t SimulatedSMC::executeWrite(const SMCCallRecord& input) {
    const auto name = smcText(input.key);
    auto* key = findKey(name);
    if (key == nullptr) {
        return smcresult::notFound;
    }
    const auto refused = refusedWrites_.find(input.key);
    if (refused != refusedWrites_.end()) {
        return refused->second;
    }
    if (!key->writable) {
        return smcresult::notWritable;
    }
    if (input.dataSize != key->bytes.size()) {
        return smcresult::keySizeMismatch;
    }
    if (isModeControlKey(name) && configuration_.forceTestGatesModeWrites && !forceTestUnlocked() &&
        !isAutomaticValue(input)) {
        // Only taking a fan over needs the unlock; handing it back to the firmware never does.
        return smcresult::notWritable;
    }
    const auto previous = key->bytes;
    const auto count = std::min(key->bytes.size(), input.bytes.size());
    std::copy_n(input.bytes.begin(), count, key->bytes.begin());
    applyWriteFaultsLocked(name, previous);
    afterWriteLocked(name);
    dropManualModesLocked();
    return smcresult::success;
}

SimulatedSMCKey* SimulatedSMC::findKey(const std::string& name) {
    const auto found = keys_.find(smcCode(name));
    return found == keys_.end() ? nullptr : &found->second;
}

const SimulatedSMCKey* SimulatedSMC::findKey(const std::string& name) const {
    const auto found = keys_.find(smcCode(name));
    return found == keys_.end() ? nullptr : &found->second;
}

void SimulatedSMC::storeKey(const std::string& name, SimulatedSMCKey key) {
    keys_[smcCode(name)] = std::move(key);
    // "#KEY" always counts the keys, itself included.
    auto& count = keys_[smcCode("#KEY")];
    count.dataType = "ui32";
    count.bytes = bigEndian32(static_cast<std::uint32_t>(keys_.size()));
}

void SimulatedSMC::defineKey(const std::string& name, const std::string& dataType,
                             std::vector<std::uint8_t> bytes, bool writable, bool readable) {
    Lock lock(mutex_);
    storeKey(name, SimulatedSMCKey{dataType, std::move(bytes), readable, writable});
}

void SimulatedSMC::removeKey(const std::string& name) {
    Lock lock(mutex_);
    keys_.erase(smcCode(name));
    if (name != "#KEY") {
        storeKey("#KEY", *findKey("#KEY"));
    }
}

std::optional<SimulatedSMCKey> SimulatedSMC::key(const std::string& name) const {
    Lock lock(mutex_);
    const auto* key = findKey(name);
    return key == nullptr ? std::nullopt : std::optional<SimulatedSMCKey>(*key);
}

std::vector<std::string> SimulatedSMC::keyNames() const {
    Lock lock(mutex_);
    std::vector<std::string> names;
    for (const auto& [code, key] : keys_) {
        names.push_back(smcText(code));
    }
    return names;
}

void SimulatedSMC::setRawBytes(const std::string& name, std::vector<std::uint8_t> bytes) {
    Lock lock(mutex_);
    auto* key = findKey(name);
    if (key == nullptr) {
        storeKey(name, SimulatedSMCKey{"ui8 ", std::move(bytes), true, false});
    } else {
        key->bytes = std::move(bytes);
    }
}

void SimulatedSMC::setKeyType(const std::string& name, const std::string& dataType,
                              std::vector<std::uint8_t> bytes) {
    Lock lock(mutex_);
    auto* key = findKey(name);
    if (key == nullptr) {
        storeKey(name, SimulatedSMCKey{dataType, std::move(bytes), true, false});
    } else {
        key->dataType = dataType;
        key->bytes = std::move(bytes);
    }
}

void SimulatedSMC::refuseWrites(const std::string& name, std::uint8_t result) {
    Lock lock(mutex_);
    refusedWrites_[smcCode(name)] = result;
}

void SimulatedSMC::allowWrites(const std::string& name) {
    Lock lock(mutex_);
    refusedWrites_.erase(smcCode(name));
}

void SimulatedSMC::injectResult(const std::string& name, std::uint8_t result) {
    Lock lock(mutex_);
    injectedResults_[smcCode(name)] = result;
}

void SimulatedSMC::clearInjectedResult(const std::string& name) {
    Lock lock(mutex_);
    injectedResults_.erase(smcCode(name));
}

void SimulatedSMC::failCalls(KernReturn code, std::size_t count, std::size_t afterCalls) {
    Lock lock(mutex_);
    failingCallCode_ = code;
    failingCallCount_ = count;
    callsBeforeFailing_ = afterCalls;
}

void SimulatedSMC::failOpens(KernReturn code) {
    Lock lock(mutex_);
    failingOpenCode_ = code;
}

std::vector<SMCJournalEntry> SimulatedSMC::journal() const {
    Lock lock(mutex_);
    return journal_;
}

void SimulatedSMC::setJournalLimit(std::size_t limit) {
    Lock lock(mutex_);
    journalLimit_ = limit;
}

void SimulatedSMC::clearJournal() {
    Lock lock(mutex_);
    journal_.clear();
}

}  // namespace virtualmac
