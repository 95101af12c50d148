#include "Ventrella/Core/L10n.h"

#include "Platform/Foundation/StringFormatter.h"
#include "Ventrella/Core/LanguageState.h"

namespace ventrella::core {

namespace {

using platform::foundation::Bundle;
using platform::foundation::Locale;

Bundle bundleFor(AppLanguage language) {
    auto main = Bundle::main();
    if (language == AppLanguage::system) {
        return main;
    }
    if (auto folder = main.pathForResource(rawValue(language), "lproj")) {
        if (auto bundle = Bundle::atPath(*folder)) {
            return *bundle;
        }
    }
    return main;
}

Locale localeFor(AppLanguage language) {
    if (language == AppLanguage::system) {
        return Locale::current();
    }
    return Locale(std::string(rawValue(language)));
}

std::string lookUp(const Bundle& bundle, std::string_view key) {
    return bundle.localizedString(key, L10n::table);
}

}  // namespace

void L10n::setLanguage(AppLanguage language) {
    LanguageState::shared().store(language);
}

Bundle L10n::localizedBundle() {
    return bundleFor(LanguageState::shared().storedLanguage());
}

Locale L10n::locale() {
    return localeFor(LanguageState::shared().storedLanguage());
}

std::string L10n::tableLanguage() {
    const AppLanguage language = LanguageState::shared().storedLanguage();
    const auto main = Bundle::main();
    if (language != AppLanguage::system) {
        if (auto folder = main.pathForResource(rawValue(language), "lproj")) {
            const auto bundle = Bundle::atPath(*folder);
            if (bundle && bundle->pathForResource(table, "strings")) {
                return std::string(rawValue(language));
            }
            return "en";
        }
    }
    return main.tableLanguage(table).value_or("en");
}

std::string L10n::string(std::string_view key) {
    return lookUp(localizedBundle(), key);
}

std::string L10n::formatArguments(std::string_view key,
                                  std::span<const platform::foundation::FormatArgument> arguments) {
    // One reading of the language serves both the lookup and the locale.
    const AppLanguage language = LanguageState::shared().storedLanguage();
    const std::string translated = lookUp(bundleFor(language), key);
    using platform::foundation::StringFormatter;
    const StringFormatter formatter(localeFor(language));
    // A translation is used only with its key's placeholders, so that a faulty one cannot take
    // arguments its key never meant it to.
    if (translated != key &&
        StringFormatter::argumentKinds(translated) == StringFormatter::argumentKinds(key)) {
        if (auto text = formatter.format(translated, arguments)) {
            return *text;
        }
    }
    if (auto text = formatter.format(key, arguments)) {
        return *text;
    }
    return std::string(key);
}

}  // namespace ventrella::core
