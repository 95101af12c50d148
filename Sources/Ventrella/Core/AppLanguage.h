#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace ventrella::core {

// The interface language; `system` follows the user's own languages.
enum class AppLanguage {
    system,
    english,
    turkish,
    german,
    spanish,
    french,
    portugueseBrazil,
    italian,
    dutch,
    polish,
    russian,
    japanese,
    korean,
    simplifiedChinese,
    arabic,
    hindi,
};

// Every language in the order the language picker lists them.
inline constexpr std::array<AppLanguage, 16> allAppLanguages = {
    AppLanguage::system,
    AppLanguage::english,
    AppLanguage::turkish,
    AppLanguage::german,
    AppLanguage::spanish,
    AppLanguage::french,
    AppLanguage::portugueseBrazil,
    AppLanguage::italian,
    AppLanguage::dutch,
    AppLanguage::polish,
    AppLanguage::russian,
    AppLanguage::japanese,
    AppLanguage::korean,
    AppLanguage::simplifiedChinese,
    AppLanguage::arabic,
    AppLanguage::hindi,
};

// "system", or the name of the language's folder: "en", "pt-BR", "zh-Hans", ...
std::string_view rawValue(AppLanguage language);
std::optional<AppLanguage> appLanguageFromRawValue(std::string_view raw);

// Each language by its own name ("Deutsch", "日本語") in every interface language; only
// "System Default" is translated.
std::string displayName(AppLanguage language);

}  // namespace ventrella::core
