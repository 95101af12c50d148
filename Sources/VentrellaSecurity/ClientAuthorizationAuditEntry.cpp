#include "VentrellaSecurity/ClientAuthorizationAuditEntry.h"

#include <charconv>
#include <nlohmann/json.hpp>

namespace ventrella::security {
namespace {

void appendPadded(std::string& out, long long value, int width) {
    char buffer[24];
    const auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    const auto length = static_cast<int>(ptr - buffer);
    out.append(static_cast<std::size_t>(std::max(0, width - length)), '0');
    out.append(buffer, ptr);
}

bool parseDigits(std::string_view text, std::size_t offset, std::size_t count, int& value) {
    if (offset + count > text.size())
        return false;
    value = 0;
    for (std::size_t i = offset; i < offset + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

}  // namespace

std::optional<std::string> iso8601String(std::chrono::system_clock::time_point date) {
    using namespace std::chrono;
    const auto seconds = floor<std::chrono::seconds>(date);
    const auto days = floor<std::chrono::days>(seconds);
    const year_month_day ymd{days};
    const hh_mm_ss time{seconds - days};
    const int year = static_cast<int>(ymd.year());
    if (year < 0 || year > 9999)
        return std::nullopt;
    std::string text;
    appendPadded(text, year, 4);
    text.push_back('-');
    appendPadded(text, static_cast<unsigned>(ymd.month()), 2);
    text.push_back('-');
    appendPadded(text, static_cast<unsigned>(ymd.day()), 2);
    text.push_back('T');
    appendPadded(text, time.hours().count(), 2);
    text.push_back(':');
    appendPadded(text, time.minutes().count(), 2);
    text.push_back(':');
    appendPadded(text, time.seconds().count(), 2);
    text.push_back('Z');
    return text;
}

std::optional<std::chrono::system_clock::time_point> iso8601Date(std::string_view text) {
    using namespace std::chrono;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (text.size() < 20 || !parseDigits(text, 0, 4, year) || text[4] != '-' ||
        !parseDigits(text, 5, 2, month) || text[7] != '-' || !parseDigits(text, 8, 2, day) ||
        text[10] != 'T' || !parseDigits(text, 11, 2, hour) || text[13] != ':' ||
        !parseDigits(text, 14, 2, minute) || text[16] != ':' || !parseDigits(text, 17, 2, second))
        return std::nullopt;
    const year_month_day ymd{std::chrono::year{year},
                             std::chrono::month{static_cast<unsigned>(month)},
                             std::chrono::day{static_cast<unsigned>(day)}};
    if (!ymd.ok() || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;

    int offsetMinutes = 0;
    const std::string_view zone = text.substr(19);
    if (zone != "Z") {
        int offsetHours = 0, offsetMinutesPart = 0;
        if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') ||
            !parseDigits(zone, 1, 2, offsetHours) || zone[3] != ':' ||
            !parseDigits(zone, 4, 2, offsetMinutesPart) || offsetHours > 23 ||
            offsetMinutesPart > 59)
            return std::nullopt;
        offsetMinutes = (offsetHours * 60 + offsetMinutesPart) * (zone[0] == '-' ? -1 : 1);
    }
    const auto local = sys_days{ymd} + hours{hour} + minutes{minute} + seconds{second};
    return time_point_cast<system_clock::duration>(local - minutes{offsetMinutes});
}

std::optional<std::string> ClientAuthorizationAuditEntry::encoded() const {
    const auto date = iso8601String(timestamp);
    if (!date)
        return std::nullopt;
    nlohmann::ordered_json object;
    object["reason"] = std::string(rawValue(reason));
    object["timestamp"] = *date;
    return object.dump();
}

std::optional<ClientAuthorizationAuditEntry> ClientAuthorizationAuditEntry::decode(
    std::string_view json) {
    const auto object = nlohmann::json::parse(json, nullptr, false);
    if (object.is_discarded() || !object.is_object())
        return std::nullopt;
    const auto reason = object.find("reason");
    const auto timestamp = object.find("timestamp");
    if (reason == object.end() || !reason->is_string() || timestamp == object.end() ||
        !timestamp->is_string())
        return std::nullopt;
    const auto failure = clientAuthorizationFailure(reason->get_ref<const std::string&>());
    const auto date = iso8601Date(timestamp->get_ref<const std::string&>());
    if (!failure || !date)
        return std::nullopt;
    return ClientAuthorizationAuditEntry{*date, *failure};
}

}  // namespace ventrella::security
