#pragma once

#include <chrono>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

namespace ventrella::fan {

// Identifies one client of an arbitrator. Issued by `FanArbitrator::newClientID()`
// and never reused by that arbitrator, so a client that arrives after another has
// gone cannot inherit the departed client's fans.
class ClientID {
  public:
    constexpr std::uint64_t value() const { return value_; }
    friend constexpr auto operator<=>(ClientID, ClientID) = default;

  private:
    friend class FanArbitrator;
    constexpr explicit ClientID(std::uint64_t value) : value_(value) {}
    std::uint64_t value_;
};

using FanArbitratorDate = std::chrono::system_clock::time_point;

// The client that currently owns a fan.
struct FanOwnerState {
    ClientID clientID;
    std::string clientName;
    int priority = 0;
    FanArbitratorDate lastWriteAt;

    friend bool operator==(const FanOwnerState&, const FanOwnerState&) = default;
};

struct FanOwnershipSnapshotRow {
    std::uint64_t fanIndex = 0;
    std::string clientName;
    int priority = 0;
    // Seconds from the owner's last write to the snapshot time.
    double ageSeconds = 0;

    friend bool operator==(const FanOwnershipSnapshotRow&,
                           const FanOwnershipSnapshotRow&) = default;
};

// The answer to a claim: the requester now owns the fan, or a fresher owner of
// higher priority keeps it.
class ClaimDecision {
  public:
    struct Accepted {
        std::string clientName;
        friend bool operator==(const Accepted&, const Accepted&) = default;
    };
    struct Rejected {
        std::string ownerName;
        int ownerPriority = 0;
        friend bool operator==(const Rejected&, const Rejected&) = default;
    };

    static ClaimDecision accepted(std::string clientName) {
        return ClaimDecision(Accepted{std::move(clientName)});
    }
    static ClaimDecision rejected(std::string ownerName, int ownerPriority) {
        return ClaimDecision(Rejected{std::move(ownerName), ownerPriority});
    }

    bool isAccepted() const { return std::holds_alternative<Accepted>(value_); }
    const std::variant<Accepted, Rejected>& value() const { return value_; }

    friend bool operator==(const ClaimDecision&, const ClaimDecision&) = default;

  private:
    explicit ClaimDecision(std::variant<Accepted, Rejected> value) : value_(std::move(value)) {}
    std::variant<Accepted, Rejected> value_;
};

// Decides which of several clients may write each fan: one owner per fan; an
// owner keeps its claim for `ownerTTL` seconds after its last write, and loses it
// earlier only to a claim of equal or higher priority. Safe to call from any thread.
class FanArbitrator {
  public:
    explicit FanArbitrator(double ownerTTL);

    double ownerTTL() const { return ownerTTL_; }

    // A fresh identity, distinct from every one this arbitrator issued before.
    ClientID newClientID();

    void registerClientName(const std::string& name, ClientID clientID);

    ClaimDecision decideClaim(std::uint64_t fan, int priority, ClientID clientID,
                              FanArbitratorDate now);

    // Removes the fan's owner only when it is `clientID`.
    void releaseOwnership(std::uint64_t fan, ClientID clientID);

    // Forgets the client's name and every fan it owns.
    void cleanupClient(ClientID clientID);

    // One row per owned fan, by fan index ascending.
    std::vector<FanOwnershipSnapshotRow> getOwnershipSnapshot(FanArbitratorDate now) const;

  private:
    struct ClientIDHash {
        std::size_t operator()(ClientID id) const { return std::hash<std::uint64_t>{}(id.value()); }
    };

    const double ownerTTL_;
    mutable std::mutex mutex_;
    std::uint64_t nextClientID_ = 1;
    std::unordered_map<ClientID, std::string, ClientIDHash> clientNames_;
    std::map<std::uint64_t, FanOwnerState> fanOwners_;
};

}  // namespace ventrella::fan
