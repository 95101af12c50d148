#include "Platform/Foundation/UserLanguages.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace platform::foundation::UserLanguages {

namespace {

std::vector<std::string> splitTag(std::string_view text) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : text) {
        if (c == '_' || c == '-') {
            parts.push_back(std::move(current));
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    parts.push_back(std::move(current));
    return parts;
}

bool isAlphanumeric(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](unsigned char c) { return std::isalnum(c) != 0; });
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string uppered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// Language in lower case, a four-letter script capitalised, a region in upper case.
std::string casedSubtag(std::string part) {
    if (part.size() == 4) {
        part = lowered(std::move(part));
        part[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(part[0])));
        return part;
    }
    return uppered(std::move(part));
}

std::optional<std::string> chineseScript(const std::vector<std::string>& parts) {
    for (std::size_t i = 1; i < parts.size(); ++i) {
        if (parts[i] == "Hans" || parts[i] == "Hant") {
            return parts[i];
        }
    }
    static constexpr std::array<std::string_view, 3> traditionalRegions = {"TW", "HK", "MO"};
    if (parts.size() > 1 && std::find(traditionalRegions.begin(), traditionalRegions.end(),
                                      parts[1]) != traditionalRegions.end()) {
        return "Hant";
    }
    return "Hans";
}

std::vector<std::string> languageParts(std::string_view posixLocale) {
    const auto end = posixLocale.find_first_of(".@");
    const std::string_view name = posixLocale.substr(0, end);
    if (name.empty() || name == "C" || name == "POSIX") {
        return {};
    }
    auto parts = splitTag(name);
    for (const auto& part : parts) {
        if (part.empty() || !isAlphanumeric(part)) {
            return {};
        }
    }
    parts[0] = lowered(std::move(parts[0]));
    for (std::size_t i = 1; i < parts.size(); ++i) {
        parts[i] = casedSubtag(std::move(parts[i]));
    }
    return parts;
}

std::string joined(const std::vector<std::string>& parts) {
    std::string tag;
    for (const auto& part : parts) {
        if (!tag.empty()) {
            tag += '-';
        }
        tag += part;
    }
    return tag;
}

std::optional<std::string> firstNamedLanguage(const EnvironmentLookup& environment,
                                              std::initializer_list<std::string_view> names) {
    for (auto name : names) {
        if (auto value = environment(name)) {
            if (auto identifier = languageIdentifier(*value)) {
                return identifier;
            }
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> languageTag(std::string_view posixLocale) {
    auto parts = languageParts(posixLocale);
    if (parts.empty()) {
        return std::nullopt;
    }
    return joined(parts);
}

std::optional<std::string> languageIdentifier(std::string_view posixLocale) {
    auto parts = languageParts(posixLocale);
    if (parts.empty()) {
        return std::nullopt;
    }
    if (parts[0] == "zh") {
        return "zh-" + *chineseScript(parts);
    }
    return joined(parts);
}

std::vector<std::string> preferredLanguages(const EnvironmentLookup& environment) {
    std::vector<std::string> languages;
    if (auto list = environment("LANGUAGE")) {
        std::string_view rest = *list;
        for (;;) {
            const auto colon = rest.find(':');
            auto identifier = languageIdentifier(rest.substr(0, colon));
            if (identifier &&
                std::find(languages.begin(), languages.end(), *identifier) == languages.end()) {
                languages.push_back(std::move(*identifier));
            }
            if (colon == std::string_view::npos) {
                break;
            }
            rest.remove_prefix(colon + 1);
        }
    }
    if (languages.empty()) {
        if (auto identifier = firstNamedLanguage(environment, {"LC_ALL", "LC_MESSAGES", "LANG"})) {
            languages.push_back(std::move(*identifier));
        }
    }
    return languages;
}

std::vector<std::string> lookupChain(std::string_view language) {
    std::vector<std::string> chain{std::string(language)};
    const auto separator = language.find('-');
    if (separator != std::string_view::npos && separator > 0) {
        chain.emplace_back(language.substr(0, separator));
    }
    return chain;
}

std::optional<std::string> localeTag(const EnvironmentLookup& environment) {
    for (std::string_view name : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        if (auto value = environment(name)) {
            if (auto tag = languageTag(*value)) {
                return tag;
            }
        }
    }
    return std::nullopt;
}

}  // namespace platform::foundation::UserLanguages
