#include "AppLog/BuildInfo.h"

#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

#include "AppLog/AppLogPrivacy.h"
#include "AppLog/Sha256.h"

namespace ventrella::applog {

namespace {

struct BuildFacts {
    std::mutex mutex;
    std::string version = "dev";
    std::string commit = "unknown";
    std::string dirty = "false";
};

BuildFacts& buildFacts() {
    static BuildFacts facts;
    return facts;
}

std::string readFact(std::string BuildFacts::*field) {
    auto& facts = buildFacts();
    std::lock_guard lock(facts.mutex);
    return facts.*field;
}

void writeFact(std::string BuildFacts::*field, std::string value) {
    auto& facts = buildFacts();
    std::lock_guard lock(facts.mutex);
    facts.*field = std::move(value);
}

}  // namespace

std::string BuildInfo::version() {
    return readFact(&BuildFacts::version);
}
std::string BuildInfo::commit() {
    return readFact(&BuildFacts::commit);
}
std::string BuildInfo::dirty() {
    return readFact(&BuildFacts::dirty);
}
void BuildInfo::setVersion(std::string value) {
    writeFact(&BuildFacts::version, std::move(value));
}
void BuildInfo::setCommit(std::string value) {
    writeFact(&BuildFacts::commit, std::move(value));
}
void BuildInfo::setDirty(std::string value) {
    writeFact(&BuildFacts::dirty, std::move(value));
}

std::string BuildInfo::buildHash(const std::filesystem::path& executable) {
    if (executable.empty()) {
        return "unknown";
    }
    std::ifstream file(executable, std::ios::binary);
    if (!file) {
        return "unknown";
    }
    std::vector<char> contents((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
    if (file.bad()) {
        return "unknown";
    }
    const auto digest = sha256(contents.data(), contents.size());
    return lowercaseHex(digest.data(), 6);
}

}  // namespace ventrella::applog
