#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Platform/IOKit/UserClientDevice.h"
#include "Platform/VirtualMac/SMCCallRecord.h"
#include "Platform/VirtualMac/SMCJournalEntry.h"
#include "Platform/VirtualMac/SimulatedSMCConfiguration.h"
#include "Platform/VirtualMac/SimulatedSMCKey.h"

namespace virtualmac {

// The simulated SMC: a key store with the firmware's commands (key info, read, write, read by
// index) and result codes, fans with automatic and manual modes, fault knobs and a journal of
// calls. Several clients may be open on one state; every entry point takes the one mutex.
class SimulatedSMC final : public platform::iokit::UserClientDevice {
  public:
    static constexpr std::string_view serviceClassName = "AppleSMC";

    explicit SimulatedSMC(SimulatedSMCConfiguration configuration = {});

    // UserClientDevice: the exchange is a function of the 80 input bytes and the state.
    std::string_view serviceClass() const override { return serviceClassName; }
    platform::iokit::KernReturn openClient(std::uint32_t connectionType,
                                           platform::iokit::ClientID& client) override;
    // Any user may read; writes from a client that an unprivileged caller opened fail with
    // kIOReturnNotPrivileged, as the firmware's user client allows writes to root alone.
    platform::iokit::KernReturn openClient(std::uint32_t connectionType,
                                           platform::iokit::ClientID& client,
                                           bool privileged) override;
    platform::iokit::KernReturn callStructMethod(platform::iokit::ClientID client,
                                                 std::uint32_t selector,
                                                 std::span<const std::uint8_t> input,
                                                 std::span<std::uint8_t> output,
                                                 std::size_t& outputSize) override;
    platform::iokit::KernReturn closeClient(platform::iokit::ClientID client) override;
    std::size_t openClientCount() const;

    // Key store.
    void defineKey(const std::string& name, const std::string& dataType,
                   std::vector<std::uint8_t> bytes, bool writable = false, bool readable = true);
    void removeKey(const std::string& name);
    std::optional<SimulatedSMCKey> key(const std::string& name) const;
    std::vector<std::string> keyNames() const;  // in index order
    // Replaces a key's bytes (its size follows) without any fan behaviour.
    void setRawBytes(const std::string& name, std::vector<std::uint8_t> bytes);
    // Gives a key another data type and bytes: the "wrong key type" anomaly.
    void setKeyType(const std::string& name, const std::string& dataType,
                    std::vector<std::uint8_t> bytes);

    // Fans.
    std::size_t fanCount() const;
    std::string modeKey(std::size_t fan) const;  // empty without per-fan mode keys
    bool isFanManual(std::size_t fan) const;
    double actualSpeed(std::size_t fan) const;
    double targetSpeed(std::size_t fan) const;
    void setAutomaticTarget(std::size_t fan, double rpm);
    void setActualSpeed(std::size_t fan, double rpm);
    // Moves every fan's actual speed to the speed it is driven at: the manual target or the
    // firmware's own. The single place where actual speeds follow targets.
    void updateActualSpeeds();

    // Anomalies.
    void setFanCountByte(std::uint8_t count);
    void setModeByte(std::size_t fan, std::uint8_t mode);
    // Writes the value in the key's own speed type ("flt " can hold 100001 or infinity).
    void setSpeedValue(const std::string& name, double rpm);

    // Faults.
    void refuseWrites(const std::string& name, std::uint8_t result = 0x86);
    void allowWrites(const std::string& name);
    // Every command on the key answers with this result byte (may be a code with no name).
    void injectResult(const std::string& name, std::uint8_t result);
    void clearInjectedResult(const std::string& name);
    // After `afterCalls` more calls, the next `count` calls fail with the return code before
    // reaching the firmware.
    void failCalls(platform::iokit::KernReturn code, std::size_t count = 1,
                   std::size_t afterCalls = 0);
    // Opening a client fails with the code until cleared with kernSuccess.
    void failOpens(platform::iokit::KernReturn code);
    // Firmware that does not keep the fan manual: after every accepted write the fan is back
    // in automatic mode, although the write itself reported success.
    void setFanDropsManualMode(std::size_t fan, bool drops);
    // Writes to "FS! " that clear bits succeed but leave the bits set.
    void setMaskIgnoresClearing(bool ignores);
    // "Ftst" reads 1 and writes of any other value succeed without changing it.
    void setForceTestStuck(bool stuck);

    std::vector<SMCJournalEntry> journal() const;
    void clearJournal();
    // Keeps at least the `limit` most recent entries and forgets older ones, so that a
    // long-running machine does not grow without bound (0: keep everything, the default).
    void setJournalLimit(std::size_t limit);

  private:
    using Lock = std::lock_guard<std::mutex>;

    std::uint8_t execute(const SMCCallRecord& input, SMCCallRecord& output);
    std::uint8_t executeWrite(const SMCCallRecord& input);
    SimulatedSMCKey* findKey(const std::string& name);
    const SimulatedSMCKey* findKey(const std::string& name) const;
    void storeKey(const std::string& name, SimulatedSMCKey key);

    // Fan behaviour, called with the mutex held.
    std::string fanKey(const char* suffix, std::size_t fan) const;
    bool isModeControlKey(const std::string& name) const;
    bool forceTestUnlocked() const;
    // A mode write that asks for automatic control: every byte of the key's size is zero.
    static bool isAutomaticValue(const SMCCallRecord& write);
    bool manualLocked(std::size_t fan) const;
    double speedLocked(const std::string& name) const;
    void setSpeedLocked(const std::string& name, double rpm);
    void returnToAutomaticLocked(std::size_t fan);
    void afterWriteLocked(const std::string& name);
    void applyWriteFaultsLocked(const std::string& name, const std::vector<std::uint8_t>& previous);
    void dropManualModesLocked();
    void updateActualSpeedsLocked();

    SimulatedSMCConfiguration configuration_;
    mutable std::mutex mutex_;
    std::map<std::uint32_t, SimulatedSMCKey> keys_;
    std::set<platform::iokit::ClientID> openClients_;
    std::set<platform::iokit::ClientID> unprivilegedClients_;
    platform::iokit::ClientID nextClient_ = 1;
    std::map<std::uint32_t, std::uint8_t> refusedWrites_;
    std::map<std::uint32_t, std::uint8_t> injectedResults_;
    platform::iokit::KernReturn failingCallCode_ = 0;
    std::size_t failingCallCount_ = 0;
    std::size_t callsBeforeFailing_ = 0;
    platform::iokit::KernReturn failingOpenCode_ = 0;
    std::set<std::size_t> fansDroppingManual_;
    bool maskIgnoresClearing_ = false;
    bool forceTestStuck_ = false;
    std::vector<SMCJournalEntry> journal_;
    std::size_t journalLimit_ = 0;
};

}  // namespace virtualmac
