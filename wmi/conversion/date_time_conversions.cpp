// The three date-time conversions of a WMI (CIM) date-time text,
// "yyyymmddHHMMSS.mmmmmmsUUU": only the first 14 characters are read, at fixed places;
// the microseconds and the UTC offset are ignored.
#include <ctime>
#include <stdexcept>
#include <string>

#include "kvwin/format.h"
#include "kvwin/wide_string.h"
#include "log/agent_log.h"
#include "win/comdef.h"
#include "win/systime.h"
#include "win/text.h"
#include "wmi/conversion/data_conversion.h"

namespace {

// The machine's local time for a point on the time line; false when it has none.
bool ToLocalTime(time_t when, struct tm& local) {
#ifdef _WIN32
    return localtime_s(&local, &when) == 0;
#else
    return localtime_r(&when, &local) != nullptr;
#endif
}

// What WMI gives for a date-time property that holds no value.
constexpr WCHAR kEmptyDateTime[] = TEXT("**************.******+***");

constexpr WCHAR kOutputFormat[] = TEXT("%d-%02d-%02dT%02d:%02d:%02d");

struct DateTimeFields {
    int year, month, day, hour, minute, second;
};

bool IsEmptyDateTime(const WCHAR* value) {
    return _wcsicmp(value, kEmptyDateTime) == 0;
}

// Each field is its fixed slice of the text, cut where the text ends, read as _wtoi reads.
// A text of 12 characters has an empty second (0); a shorter one puts the second's slice
// past its end, and substr raises std::out_of_range.
DateTimeFields ReadFields(const WCHAR* value) {
    const WString text(value);
    const auto field = [&text](size_t at, size_t length) {
        return _wtoi(text.substr(at, length).c_str());
    };
    DateTimeFields f{};
    f.year = field(0, 4);
    f.month = field(4, 2);
    f.day = field(6, 2);
    f.hour = field(8, 2);
    f.minute = field(10, 2);
    f.second = field(12, 2);
    return f;
}

// The range checks, in the order the fields are written; the first that fails raises E_FAIL.
// The day is only checked against 31, so the 31st of April passes and mktime moves it on.
void CheckFields(const DateTimeFields& f) {
    const bool inRange = f.year >= 1970 && f.month >= 1 && f.month <= 12 && f.day >= 1 &&
                         f.day <= 31 && f.hour >= 0 && f.hour <= 23 && f.minute >= 0 &&
                         f.minute <= 59 && f.second >= 0 && f.second <= 59;
    if (!inRange)
        _com_issue_error(E_FAIL);
}

// The fields taken as local wall-clock time, placed on the time line by the C library with
// the daylight-saving state left to it. mktime normalises what does not exist: the 31st of
// a 30-day month, or a time inside the spring gap.
time_t ToTimeLine(const DateTimeFields& f) {
    struct tm local {};
    local.tm_sec = f.second;
    local.tm_min = f.minute;
    local.tm_hour = f.hour;
    local.tm_mday = f.day;
    local.tm_mon = f.month - 1;
    local.tm_year = f.year - 1900;
    local.tm_isdst = -1;
    const time_t when = mktime(&local);
    if (when == static_cast<time_t>(-1))
        _com_issue_error(E_INVALIDARG);
    return when;
}

// The value's fields, range-checked (throws otherwise) and normalised as local wall-clock
// time; false when there is nothing to show: an empty value, or a time the C library cannot
// break down.
bool NormalisedLocalTime(const WCHAR* value, struct tm& local) {
    if (IsEmptyDateTime(value))
        return false;
    const DateTimeFields f = ReadFields(value);
    CheckFields(f);
    return ToLocalTime(ToTimeLine(f), local);
}

WString FormatDate(int year, int month, int day, int hour, int minute, int second) {
    return kvwin::Format(kOutputFormat, year, month, day, hour, minute, second);
}

}  // namespace

void CDataConversion::GetSystemTimeFormat(const WCHAR* value, WString& result) {
    CEReportEventF(LogTrace, TEXT("CDataConversion::GetSystemIimeFormat()"),
                   TEXT("Getting the data in systeime format"));
    if (IsEmptyDateTime(value)) {
        result.clear();
        return;
    }
    // No range checks here: each field is only narrowed to a 16-bit unsigned number, as a
    // SYSTEMTIME field would hold it, so a year of 1960 stays 1960 and a month of -1 is 65535.
    const DateTimeFields f = ReadFields(value);
    const auto word = [](int v) { return static_cast<int>(static_cast<WORD>(v)); };
    result = FormatDate(word(f.year), word(f.month), word(f.day), word(f.hour), word(f.minute),
                        word(f.second));
}

void CDataConversion::GetAsSystemTimeFormat(const WCHAR* value, WString& result) {
    struct tm local {};
    if (!NormalisedLocalTime(value, local)) {
        result.clear();
        return;
    }
    result = FormatDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                        local.tm_min, local.tm_sec);
}

void CDataConversion::GetHubTimeFormat(const WCHAR* value, WString& result) {
    struct tm local {};
    if (!NormalisedLocalTime(value, local)) {
        result.clear();
        return;
    }
    // The normalised wall-clock time is handed to the zone conversion as if it were UTC, so
    // the digits move by the machine's UTC offset for that date (five hours back on a
    // machine in New York in winter). The zone's present rule decides that offset.
    SYSTEMTIME universal{};
    universal.wYear = static_cast<WORD>(local.tm_year + 1900);
    universal.wMonth = static_cast<WORD>(local.tm_mon + 1);
    universal.wDayOfWeek = static_cast<WORD>(local.tm_wday);
    universal.wDay = static_cast<WORD>(local.tm_mday);
    universal.wHour = static_cast<WORD>(local.tm_hour);
    universal.wMinute = static_cast<WORD>(local.tm_min);
    universal.wSecond = static_cast<WORD>(local.tm_sec);
    universal.wMilliseconds = 0;
    TIME_ZONE_INFORMATION zone{};
    GetTimeZoneInformation(&zone);
    SYSTEMTIME shifted{};
    if (!SystemTimeToTzSpecificLocalTime(&zone, &universal, &shifted)) {
        result.clear();
        return;
    }
    result = FormatDate(shifted.wYear, shifted.wMonth, shifted.wDay, shifted.wHour, shifted.wMinute,
                        shifted.wSecond);
}
