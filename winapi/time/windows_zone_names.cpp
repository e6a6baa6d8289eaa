// Windows names of common zones, so GetTimeZoneInformation reads as it does on Windows.
#include <string_view>

#include "kvwin/time_zone.h"

namespace kvwin {

namespace {

struct NameRow {
    std::string_view zone;
    std::u16string_view key;
    std::u16string_view standard;
    std::u16string_view daylight;
};

constexpr std::u16string_view kUtc = u"Coordinated Universal Time";

constexpr NameRow kNames[] = {
    {"UTC", u"UTC", kUtc, kUtc},
    {"Etc/UTC", u"UTC", kUtc, kUtc},
    {"Etc/UCT", u"UTC", kUtc, kUtc},
    {"Etc/Universal", u"UTC", kUtc, kUtc},
    {"Etc/Zulu", u"UTC", kUtc, kUtc},
    {"Universal", u"UTC", kUtc, kUtc},
    {"Zulu", u"UTC", kUtc, kUtc},
    {"Etc/GMT", u"UTC", kUtc, kUtc},
    {"GMT", u"UTC", kUtc, kUtc},
    {"America/New_York", u"Eastern Standard Time", u"Eastern Standard Time",
     u"Eastern Daylight Time"},
    {"US/Eastern", u"Eastern Standard Time", u"Eastern Standard Time", u"Eastern Daylight Time"},
    {"America/Detroit", u"Eastern Standard Time", u"Eastern Standard Time",
     u"Eastern Daylight Time"},
    {"America/Toronto", u"Eastern Standard Time", u"Eastern Standard Time",
     u"Eastern Daylight Time"},
    {"America/Chicago", u"Central Standard Time", u"Central Standard Time",
     u"Central Daylight Time"},
    {"US/Central", u"Central Standard Time", u"Central Standard Time", u"Central Daylight Time"},
    {"America/Denver", u"Mountain Standard Time", u"Mountain Standard Time",
     u"Mountain Daylight Time"},
    {"America/Phoenix", u"US Mountain Standard Time", u"US Mountain Standard Time",
     u"US Mountain Daylight Time"},
    {"America/Los_Angeles", u"Pacific Standard Time", u"Pacific Standard Time",
     u"Pacific Daylight Time"},
    {"US/Pacific", u"Pacific Standard Time", u"Pacific Standard Time", u"Pacific Daylight Time"},
    {"America/Anchorage", u"Alaskan Standard Time", u"Alaskan Standard Time",
     u"Alaskan Daylight Time"},
    {"Pacific/Honolulu", u"Hawaiian Standard Time", u"Hawaiian Standard Time",
     u"Hawaiian Daylight Time"},
    {"America/Sao_Paulo", u"E. South America Standard Time", u"E. South America Standard Time",
     u"E. South America Daylight Time"},
    {"Europe/London", u"GMT Standard Time", u"GMT Standard Time", u"GMT Daylight Time"},
    {"Europe/Dublin", u"GMT Standard Time", u"GMT Standard Time", u"GMT Daylight Time"},
    {"Europe/Lisbon", u"GMT Standard Time", u"GMT Standard Time", u"GMT Daylight Time"},
    {"Europe/Berlin", u"W. Europe Standard Time", u"W. Europe Standard Time",
     u"W. Europe Daylight Time"},
    {"Europe/Amsterdam", u"W. Europe Standard Time", u"W. Europe Standard Time",
     u"W. Europe Daylight Time"},
    {"Europe/Rome", u"W. Europe Standard Time", u"W. Europe Standard Time",
     u"W. Europe Daylight Time"},
    {"Europe/Vienna", u"W. Europe Standard Time", u"W. Europe Standard Time",
     u"W. Europe Daylight Time"},
    {"Europe/Zurich", u"W. Europe Standard Time", u"W. Europe Standard Time",
     u"W. Europe Daylight Time"},
    {"Europe/Stockholm", u"W. Europe Standard Time", u"W. Europe Standard Time",
     u"W. Europe Daylight Time"},
    {"Europe/Oslo", u"W. Europe Standard Time", u"W. Europe Standard Time",
     u"W. Europe Daylight Time"},
    {"Europe/Paris", u"Romance Standard Time", u"Romance Standard Time", u"Romance Daylight Time"},
    {"Europe/Brussels", u"Romance Standard Time", u"Romance Standard Time",
     u"Romance Daylight Time"},
    {"Europe/Madrid", u"Romance Standard Time", u"Romance Standard Time", u"Romance Daylight Time"},
    {"Europe/Copenhagen", u"Romance Standard Time", u"Romance Standard Time",
     u"Romance Daylight Time"},
    {"Europe/Warsaw", u"Central European Standard Time", u"Central European Standard Time",
     u"Central European Daylight Time"},
    {"Europe/Prague", u"Central Europe Standard Time", u"Central Europe Standard Time",
     u"Central Europe Daylight Time"},
    {"Europe/Budapest", u"Central Europe Standard Time", u"Central Europe Standard Time",
     u"Central Europe Daylight Time"},
    {"Europe/Helsinki", u"FLE Standard Time", u"FLE Standard Time", u"FLE Daylight Time"},
    {"Europe/Kyiv", u"FLE Standard Time", u"FLE Standard Time", u"FLE Daylight Time"},
    {"Europe/Kiev", u"FLE Standard Time", u"FLE Standard Time", u"FLE Daylight Time"},
    {"Europe/Athens", u"GTB Standard Time", u"GTB Standard Time", u"GTB Daylight Time"},
    {"Europe/Bucharest", u"GTB Standard Time", u"GTB Standard Time", u"GTB Daylight Time"},
    {"Europe/Moscow", u"Russian Standard Time", u"Russian Standard Time", u"Russian Daylight Time"},
    {"Asia/Kolkata", u"India Standard Time", u"India Standard Time", u"India Daylight Time"},
    {"Asia/Calcutta", u"India Standard Time", u"India Standard Time", u"India Daylight Time"},
    {"Asia/Shanghai", u"China Standard Time", u"China Standard Time", u"China Daylight Time"},
    {"Asia/Tokyo", u"Tokyo Standard Time", u"Tokyo Standard Time", u"Tokyo Daylight Time"},
    {"Asia/Dubai", u"Arabian Standard Time", u"Arabian Standard Time", u"Arabian Daylight Time"},
    {"Australia/Sydney", u"AUS Eastern Standard Time", u"AUS Eastern Standard Time",
     u"AUS Eastern Daylight Time"},
    {"Australia/Melbourne", u"AUS Eastern Standard Time", u"AUS Eastern Standard Time",
     u"AUS Eastern Daylight Time"},
};

}  // namespace

WindowsZoneNames WindowsNamesFor(std::string_view zone_name) {
    for (const NameRow& row : kNames) {
        if (row.zone == zone_name) {
            return {std::u16string(row.key), std::u16string(row.standard),
                    std::u16string(row.daylight)};
        }
    }
    return {};
}

}  // namespace kvwin
