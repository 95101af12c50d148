#include "Platform/Foundation/StringFormatter.h"

#include "Platform/Foundation/LocaleNumberFormatter.h"

namespace platform::foundation {

namespace {

// Positions beyond this are refused rather than parsed into large numbers.
constexpr std::size_t maximumPosition = 99;

struct Placeholder {
    std::size_t argument = 0;  // zero-based
    FormatArgumentKind kind = FormatArgumentKind::text;
    int fractionDigits = 6;
};

// A format broken into literal text and placeholders.
struct ParsedFormat {
    std::vector<std::string> literals;  // one more than placeholders
    std::vector<Placeholder> placeholders;
    std::vector<FormatArgumentKind> argumentKinds;
};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads decimal digits at `at`, at most `maximumDigits` of them; absent when there are none.
std::optional<std::size_t> readNumber(std::string_view text, std::size_t& at,
                                      std::size_t maximumDigits) {
    std::size_t value = 0;
    std::size_t count = 0;
    while (at < text.size() && isDigit(text[at])) {
        if (++count > maximumDigits) {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::size_t>(text[at] - '0');
        ++at;
    }
    if (count == 0) {
        return std::nullopt;
    }
    return value;
}

// Reads the conversion after "%" and an optional position; `at` is left after it.
std::optional<Placeholder> readConversion(std::string_view text, std::size_t& at) {
    Placeholder placeholder;
    if (at >= text.size()) {
        return std::nullopt;
    }
    if (text[at] == '@') {
        ++at;
        placeholder.kind = FormatArgumentKind::text;
        return placeholder;
    }
    if (text.substr(at, 3) == "lld") {
        at += 3;
        placeholder.kind = FormatArgumentKind::integer;
        return placeholder;
    }
    if (text.substr(at, 2) == "ld") {
        at += 2;
        placeholder.kind = FormatArgumentKind::integer;
        return placeholder;
    }
    if (text[at] == 'd') {
        ++at;
        placeholder.kind = FormatArgumentKind::integer;
        return placeholder;
    }
    placeholder.kind = FormatArgumentKind::number;
    if (text[at] == '.') {
        ++at;
        auto digits = readNumber(text, at, 2);
        if (!digits || *digits > LocaleNumberFormatter::maximumFractionDigits) {
            return std::nullopt;
        }
        placeholder.fractionDigits = static_cast<int>(*digits);
    }
    if (at < text.size() && text[at] == 'f') {
        ++at;
        return placeholder;
    }
    return std::nullopt;
}

std::optional<ParsedFormat> parse(std::string_view text) {
    ParsedFormat parsed;
    parsed.literals.emplace_back();
    bool anyPositional = false;
    bool anySequential = false;
    std::size_t nextArgument = 0;
    std::vector<std::optional<FormatArgumentKind>> kinds;

    std::size_t at = 0;
    while (at < text.size()) {
        const char c = text[at++];
        if (c != '%') {
            parsed.literals.back() += c;
            continue;
        }
        if (at < text.size() && text[at] == '%') {
            ++at;
            parsed.literals.back() += '%';
            continue;
        }
        std::optional<std::size_t> position;
        if (at < text.size() && isDigit(text[at])) {
            position = readNumber(text, at, 2);
            if (!position || *position == 0 || *position > maximumPosition || at >= text.size() ||
                text[at] != '$') {
                return std::nullopt;
            }
            ++at;
        }
        auto placeholder = readConversion(text, at);
        if (!placeholder) {
            return std::nullopt;
        }
        if (position) {
            anyPositional = true;
            placeholder->argument = *position - 1;
        } else {
            anySequential = true;
            placeholder->argument = nextArgument++;
        }
        if (anyPositional && anySequential) {
            return std::nullopt;
        }
        if (kinds.size() <= placeholder->argument) {
            kinds.resize(placeholder->argument + 1);
        }
        auto& kind = kinds[placeholder->argument];
        if (kind && *kind != placeholder->kind) {
            return std::nullopt;
        }
        kind = placeholder->kind;
        parsed.placeholders.push_back(*placeholder);
        parsed.literals.emplace_back();
    }
    for (const auto& kind : kinds) {
        if (!kind) {
            return std::nullopt;
        }
        parsed.argumentKinds.push_back(*kind);
    }
    return parsed;
}

}  // namespace

std::optional<std::vector<FormatArgumentKind>> StringFormatter::argumentKinds(
    std::string_view format) {
    auto parsed = parse(format);
    if (!parsed) {
        return std::nullopt;
    }
    return std::move(parsed->argumentKinds);
}

std::optional<std::string> StringFormatter::format(
    std::string_view format, std::span<const FormatArgument> arguments) const {
    const auto parsed = parse(format);
    if (!parsed || parsed->argumentKinds.size() != arguments.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (parsed->argumentKinds[i] != arguments[i].kind()) {
            return std::nullopt;
        }
    }
    // Made only when a number is written: it looks the locale's symbols up.
    std::optional<LocaleNumberFormatter> numbers;
    auto numberFormatter = [&]() -> const LocaleNumberFormatter& {
        if (!numbers) {
            numbers.emplace(locale_);
        }
        return *numbers;
    };

    std::string text = parsed->literals.front();
    for (std::size_t i = 0; i < parsed->placeholders.size(); ++i) {
        const Placeholder& placeholder = parsed->placeholders[i];
        const FormatArgument& argument = arguments[placeholder.argument];
        switch (placeholder.kind) {
            case FormatArgumentKind::text:
                text += argument.text();
                break;
            case FormatArgumentKind::integer:
                text += numberFormatter().integer(argument.integer());
                break;
            case FormatArgumentKind::number:
                text += numberFormatter().decimal(argument.number(), placeholder.fractionDigits);
                break;
        }
        text += parsed->literals[i + 1];
    }
    return text;
}

}  // namespace platform::foundation
