#pragma once

#include <array>
#include <concepts>
#include <span>
#include <string>
#include <string_view>

#include "Platform/Foundation/Bundle.h"
#include "Platform/Foundation/FormatArgument.h"
#include "Platform/Foundation/Locale.h"
#include "Ventrella/Core/AppLanguage.h"

namespace ventrella::core {

// The application's texts in the interface language. Every text is written in English and is its
// own key in the table "Localizable" of the language's folder ("de.lproj"); a text without a
// translation is shown in English. Safe to call from any thread: the language is read once under
// LanguageState's lock and everything else runs without it, so a text formatted while the
// language changes is wholly in the old or wholly in the new language.
class L10n {
  public:
    L10n() = delete;

    static constexpr std::string_view table = "Localizable";

    static void setLanguage(AppLanguage language);

    // The bundle texts are looked up in: for `system` the main bundle (which picks the user's
    // language), for any other language its folder in the main bundle, or the main bundle when
    // that folder is missing.
    static platform::foundation::Bundle localizedBundle();

    // The locale for numbers: the user's own for `system`, else the language's.
    static platform::foundation::Locale locale();

    // The language whose table the texts come from ("de", "ar"): the chosen language when the
    // bundle has its table, otherwise the user's language the main bundle finds a table for, and
    // "en" when the texts are the keys themselves. The interface's direction follows it, so that
    // a language without a table is never laid out in a direction its texts do not have.
    static std::string tableLanguage();

    // The text of `key`, or `key` itself.
    static std::string string(std::string_view key);

    // The text of `key` filled with `arguments` under `locale()` (see StringFormatter for the
    // placeholders). A translation whose placeholders differ from its key's falls back to the
    // key; a key that does not fit the arguments is returned as it stands, unformatted.
    template <class... Arguments>
    requires(std::constructible_from<platform::foundation::FormatArgument,
                                     const Arguments&>&&...) static std::string
        format(std::string_view key, const Arguments&... arguments) {
        const std::array<platform::foundation::FormatArgument, sizeof...(Arguments)> list{
            platform::foundation::FormatArgument(arguments)...};
        return formatArguments(key, list);
    }

    static std::string formatArguments(
        std::string_view key, std::span<const platform::foundation::FormatArgument> arguments);
};

}  // namespace ventrella::core
