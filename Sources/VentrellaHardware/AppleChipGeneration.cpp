#include "VentrellaHardware/AppleChipGeneration.h"

#include <string>

#include "SMCFanKit/SensorCatalog.h"

namespace ventrella::hardware {
namespace {

// Brand texts are ASCII in practice; any other byte separates words.
bool isWordCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

char lowered(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::vector<std::string> lowerCaseWords(std::string_view text) {
    std::vector<std::string> words;
    std::string current;
    for (const char c : text) {
        if (isWordCharacter(c)) {
            current.push_back(lowered(c));
        } else if (!current.empty()) {
            words.push_back(std::move(current));
            current.clear();
        }
    }
    if (!current.empty()) {
        words.push_back(std::move(current));
    }
    return words;
}

}  // namespace

std::optional<AppleChipGeneration> fromRawValue(int rawValue) {
    if (rawValue < 1 || rawValue > 5) {
        return std::nullopt;
    }
    return static_cast<AppleChipGeneration>(rawValue);
}

std::optional<AppleChipGeneration> fromBrandString(std::string_view brandString) {
    const std::vector<std::string> words = lowerCaseWords(brandString);
    if (words.empty() || words.front() != "apple") {
        return std::nullopt;
    }
    for (const std::string& word : words) {
        if (word.size() == 2 && word[0] == 'm' && word[1] >= '0' && word[1] <= '9') {
            return fromRawValue(word[1] - '0');
        }
    }
    return std::nullopt;
}

std::vector<fan::SensorKey> sensors(AppleChipGeneration generation) {
    using fan::SensorCatalog;
    std::vector<fan::SensorKey> keys;
    switch (generation) {
        case AppleChipGeneration::m1:
            keys = SensorCatalog::m1();
            break;
        case AppleChipGeneration::m2:
            keys = SensorCatalog::m2();
            break;
        case AppleChipGeneration::m3:
            keys = SensorCatalog::m3();
            break;
        case AppleChipGeneration::m4:
            keys = SensorCatalog::m4();
            break;
        case AppleChipGeneration::m5:
            keys = SensorCatalog::m5();
            break;
    }
    keys.insert(keys.end(), SensorCatalog::crossPlatform().begin(),
                SensorCatalog::crossPlatform().end());
    return keys;
}

}  // namespace ventrella::hardware
