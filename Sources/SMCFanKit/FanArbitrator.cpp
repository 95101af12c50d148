#include "SMCFanKit/FanArbitrator.h"

#include <string_view>

#include "AppLog/AppLog.h"

namespace ventrella::fan {
namespace {

using applog::AppLogMessage;
using applog::pub;

const applog::AppLog::Channel& arbitratorLog() {
    static const applog::AppLog::Channel channel = applog::AppLog::make("FanArbitrator");
    return channel;
}

double secondsBetween(FanArbitratorDate from, FanArbitratorDate to) {
    return std::chrono::duration<double>(to - from).count();
}

}  // namespace

FanArbitrator::FanArbitrator(double ownerTTL) : ownerTTL_(ownerTTL) {
    arbitratorLog().notice(AppLogMessage() << "arbitrator.init owner_ttl=" << pub(ownerTTL));
}

ClientID FanArbitrator::newClientID() {
    std::lock_guard lock(mutex_);
    return ClientID(nextClientID_++);
}

void FanArbitrator::registerClientName(const std::string& name, ClientID clientID) {
    std::lock_guard lock(mutex_);
    clientNames_[clientID] = name;
}

ClaimDecision FanArbitrator::decideClaim(std::uint64_t fan, int priority, ClientID clientID,
                                         FanArbitratorDate now) {
    std::lock_guard lock(mutex_);
    const auto name = clientNames_.find(clientID);
    std::string requesterName = name != clientNames_.end() ? name->second : "<unregistered>";

    if (const auto owner = fanOwners_.find(fan); owner != fanOwners_.end()) {
        const FanOwnerState& state = owner->second;
        const bool fresh = secondsBetween(state.lastWriteAt, now) < ownerTTL_;
        if (state.clientID != clientID && fresh && state.priority > priority) {
            return ClaimDecision::rejected(state.clientName, state.priority);
        }
    }
    fanOwners_.insert_or_assign(fan, FanOwnerState{clientID, requesterName, priority, now});
    return ClaimDecision::accepted(std::move(requesterName));
}

void FanArbitrator::releaseOwnership(std::uint64_t fan, ClientID clientID) {
    std::lock_guard lock(mutex_);
    if (const auto owner = fanOwners_.find(fan);
        owner != fanOwners_.end() && owner->second.clientID == clientID) {
        fanOwners_.erase(owner);
    }
}

void FanArbitrator::cleanupClient(ClientID clientID) {
    std::string name = "<unknown>";
    std::vector<std::uint64_t> released;
    {
        std::lock_guard lock(mutex_);
        if (const auto entry = clientNames_.find(clientID); entry != clientNames_.end()) {
            name = std::move(entry->second);
            clientNames_.erase(entry);
        }
        for (auto owner = fanOwners_.begin(); owner != fanOwners_.end();) {
            if (owner->second.clientID == clientID) {
                released.push_back(owner->first);
                owner = fanOwners_.erase(owner);
            } else {
                ++owner;
            }
        }
    }
    if (released.empty()) {
        return;
    }
    std::string fans;
    for (const std::uint64_t fan : released) {
        if (!fans.empty()) {
            fans.push_back(',');
        }
        fans += applog::appLogDescription(fan);
    }
    arbitratorLog().info(AppLogMessage() << "arbitrator.ownership_released client=" << pub(name)
                                         << " fans=" << pub(fans));
}

std::vector<FanOwnershipSnapshotRow> FanArbitrator::getOwnershipSnapshot(
    FanArbitratorDate now) const {
    std::lock_guard lock(mutex_);
    std::vector<FanOwnershipSnapshotRow> rows;
    rows.reserve(fanOwners_.size());
    // The map is ordered by fan index, so the rows come out sorted.
    for (const auto& [fan, state] : fanOwners_) {
        rows.push_back(FanOwnershipSnapshotRow{fan, state.clientName, state.priority,
                                               secondsBetween(state.lastWriteAt, now)});
    }
    return rows;
}

}  // namespace ventrella::fan
