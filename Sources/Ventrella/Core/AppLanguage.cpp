#include "Ventrella/Core/AppLanguage.h"

#include "Ventrella/Core/L10n.h"

namespace ventrella::core {

namespace {

struct LanguageNames {
    std::string_view raw;
    std::string_view native;
};

LanguageNames names(AppLanguage language) {
    switch (language) {
        case AppLanguage::system:
            return {"system", "System Default"};
        case AppLanguage::english:
            return {"en", "English"};
        case AppLanguage::turkish:
            return {"tr", "Türkçe"};
        case AppLanguage::german:
            return {"de", "Deutsch"};
        case AppLanguage::spanish:
            return {"es", "Español"};
        case AppLanguage::french:
            return {"fr", "Français"};
        case AppLanguage::portugueseBrazil:
            return {"pt-BR", "Português (Brasil)"};
        case AppLanguage::italian:
            return {"it", "Italiano"};
        case AppLanguage::dutch:
            return {"nl", "Nederlands"};
        case AppLanguage::polish:
            return {"pl", "Polski"};
        case AppLanguage::russian:
            return {"ru", "Русский"};
        case AppLanguage::japanese:
            return {"ja", "日本語"};
        case AppLanguage::korean:
            return {"ko", "한국어"};
        case AppLanguage::simplifiedChinese:
            return {"zh-Hans", "简体中文"};
        case AppLanguage::arabic:
            return {"ar", "العربية"};
        case AppLanguage::hindi:
            return {"hi", "हिन्दी"};
    }
    return {"system", "System Default"};
}

}  // namespace

std::string_view rawValue(AppLanguage language) {
    return names(language).raw;
}

std::optional<AppLanguage> appLanguageFromRawValue(std::string_view raw) {
    for (auto language : allAppLanguages) {
        if (rawValue(language) == raw) {
            return language;
        }
    }
    return std::nullopt;
}

std::string displayName(AppLanguage language) {
    if (language == AppLanguage::system) {
        return L10n::string("System Default");
    }
    return std::string(names(language).native);
}

}  // namespace ventrella::core
