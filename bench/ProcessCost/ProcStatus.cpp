#include "ProcessCost/ProcStatus.h"

#include <charconv>
#include <type_traits>

namespace ventrella::bench {

namespace {

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The number of a "Name:\t  1234 kB" line: blanks around it, and the unit, are allowed.
template <typename Number>
bool parseValue(std::string_view value, Number& number) {
    value = trimmed(value);
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error != std::errc())
        return false;
    if constexpr (std::is_signed_v<Number>) {
        if (number < 0)
            return false;
    }
    const auto unit = trimmed(value.substr(static_cast<std::size_t>(end - value.data())));
    return unit.empty() || unit == "kB";
}

}  // namespace

std::optional<ProcStatus> parseProcStatus(std::string_view text) {
    ProcStatus status;
    bool voluntary = false;
    bool involuntary = false;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const auto line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const auto name = line.substr(0, colon);
        const auto value = line.substr(colon + 1);
        auto optionalNumber = [&](std::optional<long long>& field) {
            long long number = 0;
            if (!parseValue(value, number))
                return false;
            field = number;
            return true;
        };
        bool ok = true;
        if (name == "VmRSS") {
            ok = optionalNumber(status.residentKiB);
        } else if (name == "VmHWM") {
            ok = optionalNumber(status.peakResidentKiB);
        } else if (name == "Threads") {
            ok = optionalNumber(status.threads);
        } else if (name == "voluntary_ctxt_switches") {
            ok = voluntary = parseValue(value, status.voluntarySwitches);
        } else if (name == "nonvoluntary_ctxt_switches") {
            ok = involuntary = parseValue(value, status.involuntarySwitches);
        }
        if (!ok)
            return std::nullopt;
    }
    if (!voluntary || !involuntary)
        return std::nullopt;
    return status;
}

}  // namespace ventrella::bench
