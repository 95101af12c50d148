#pragma once

#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ventrella::testsupport {

// Sets and unsets environment variables for the lifetime of the object, then restores them.
// Not for tests that read the environment from other threads while it changes.
class ScopedEnvironment {
  public:
    // A value of nullopt unsets the variable.
    ScopedEnvironment(
        std::initializer_list<std::pair<std::string, std::optional<std::string>>> values) {
        for (const auto& [name, value] : values) {
            const char* old = std::getenv(name.c_str());
            saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
            apply(name, value);
        }
    }

    ~ScopedEnvironment() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            apply(it->first, it->second);
        }
    }

    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    // The variables that choose the user's languages and locale, all unset but `values`.
    static ScopedEnvironment userLocale(std::optional<std::string> language,
                                        std::optional<std::string> lang) {
        return ScopedEnvironment({{"LANGUAGE", std::move(language)},
                                  {"LC_ALL", std::nullopt},
                                  {"LC_MESSAGES", std::nullopt},
                                  {"LC_NUMERIC", std::nullopt},
                                  {"LANG", std::move(lang)}});
    }

  private:
    static void apply(const std::string& name, const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name.c_str());
        }
    }

    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace ventrella::testsupport
