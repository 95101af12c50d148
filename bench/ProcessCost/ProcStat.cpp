#include "ProcessCost/ProcStat.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>

namespace ventrella::bench {

namespace {

// Fields after the command name, counted from the state (field 3 of proc(5)) as 0.
constexpr std::size_t userField = 11;     // utime, field 14
constexpr std::size_t systemField = 12;   // stime, field 15
constexpr std::size_t threadsField = 17;  // num_threads, field 20
constexpr std::size_t startField = 19;    // starttime, field 22

template <typename Number>
bool parseNumber(std::string_view text, Number& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::optional<ProcStat> parseProcStat(std::string_view text) {
    const auto open = text.find(" (");
    const auto close = text.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open)
        return std::nullopt;
    std::array<std::string_view, startField + 1> fields;
    std::size_t count = 0;
    std::size_t at = close + 1;
    while (count < fields.size()) {
        at = text.find_first_not_of(" \n", at);
        if (at == std::string_view::npos)
            return std::nullopt;
        const auto end = std::min(text.find_first_of(" \n", at), text.size());
        fields[count++] = text.substr(at, end - at);
        at = end;
    }
    ProcStat stat;
    if (fields[0].size() != 1 || !parseNumber(fields[userField], stat.userTicks) ||
        !parseNumber(fields[systemField], stat.systemTicks) ||
        !parseNumber(fields[threadsField], stat.threads) ||
        !parseNumber(fields[startField], stat.startTicks))
        return std::nullopt;
    stat.state = fields[0][0];
    return stat;
}

}  // namespace ventrella::bench
