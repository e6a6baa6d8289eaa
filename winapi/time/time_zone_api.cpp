// GetTimeZoneInformation and the conversions between UTC and a zone's local time.
#include <time.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "kvwin/civil_time.h"
#include "kvwin/environment_lock.h"
#include "kvwin/last_error.h"
#include "kvwin/time_zone.h"
#include "kvwin/utf.h"

namespace {

int64_t NowUnixSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec);
}

void CopyName(std::u16string_view name, WCHAR (&out)[32]) {
    std::memset(out, 0, sizeof out);
    const size_t n = std::min<size_t>(name.size(), 31);
    std::memcpy(out, name.data(), n * sizeof(WCHAR));
}

int64_t YearOf(int64_t unix_seconds) {
    return kvwin::CivilFromDays(kvwin::FloorDiv(unix_seconds, 86400)).year;
}

// A POSIX transition date in the Windows form: month / week-of-month (5 = last) /
// day-of-week with wYear 0; a time outside 0..24 h moves the weekday. Day-of-year forms
// have no such shape and become this year's date in the absolute form.
SYSTEMTIME WindowsTransition(const kvwin::PosixDateRule& rule, int64_t year) {
    SYSTEMTIME st{};
    int64_t seconds = rule.time;
    if (rule.form == kvwin::PosixDateRule::Form::MonthWeekDay) {
        const int64_t day_shift = kvwin::FloorDiv(seconds, 86400);
        seconds -= day_shift * 86400;
        st.wMonth = static_cast<WORD>(rule.month);
        st.wDay = static_cast<WORD>(rule.week);
        st.wDayOfWeek = static_cast<WORD>(((rule.weekday + day_shift) % 7 + 7) % 7);
    } else {
        const int64_t local = rule.LocalSecondsIn(year);
        const int64_t days = kvwin::FloorDiv(local, 86400);
        const kvwin::CivilDate date = kvwin::CivilFromDays(days);
        seconds = local - days * 86400;
        st.wYear = static_cast<WORD>(date.year);
        st.wMonth = static_cast<WORD>(date.month);
        st.wDay = static_cast<WORD>(date.day);
        st.wDayOfWeek = static_cast<WORD>(kvwin::WeekdayFromDays(days));
    }
    st.wHour = static_cast<WORD>(seconds / 3600);
    st.wMinute = static_cast<WORD>(seconds / 60 % 60);
    st.wSecond = static_cast<WORD>(seconds % 60);
    return st;
}

DWORD FillZoneInformation(const kvwin::ZoneInfo& zone, TIME_ZONE_INFORMATION& tzi,
                          std::u16string* key_name, int64_t now) {
    std::memset(&tzi, 0, sizeof tzi);
    const kvwin::PosixZone rule = zone.PresentRule(now);
    kvwin::WindowsZoneNames names = kvwin::WindowsNamesFor(zone.name);
    if (names.key.empty()) {
        names.key = kvwin::FromUtf8(zone.name);
        names.standard = kvwin::FromUtf8(rule.std_name);
        names.daylight = kvwin::FromUtf8(rule.has_dst ? rule.dst_name : rule.std_name);
    }
    if (key_name)
        *key_name = names.key;
    tzi.Bias = -rule.std_offset / 60;
    tzi.StandardBias = 0;
    CopyName(names.standard, tzi.StandardName);
    CopyName(names.daylight, tzi.DaylightName);
    if (!rule.has_dst)
        return TIME_ZONE_ID_UNKNOWN;
    tzi.DaylightBias = -(rule.dst_offset - rule.std_offset) / 60;
    tzi.StandardDate = WindowsTransition(rule.end, YearOf(now));
    tzi.DaylightDate = WindowsTransition(rule.start, YearOf(now));
    return zone.At(now).is_dst ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

// The answer for the current zone, kept while it holds: until the zone's next change or the
// next year (day-of-year transition dates are given for the current year), whichever comes
// first, and while the TZ value stays (it names one zone). Guarded by its own lock; never
// destroyed, so a call during exit finds it.
struct ZoneAnswer {
    std::mutex lock;
    std::optional<std::string> tz;
    int64_t from = 1;
    int64_t until = 0;
    TIME_ZONE_INFORMATION tzi{};
    DWORD id = TIME_ZONE_ID_INVALID;
};

ZoneAnswer& LastZoneAnswer() {
    static ZoneAnswer* answer = new ZoneAnswer;
    return *answer;
}

DWORD CurrentZoneInformation(TIME_ZONE_INFORMATION& tzi) {
    std::optional<std::string> tz = kvwin::GetEnvUtf8("TZ");
    const int64_t now = NowUnixSeconds();
    ZoneAnswer& answer = LastZoneAnswer();
    {
        std::lock_guard guard(answer.lock);
        if (answer.tz == tz && now >= answer.from && now < answer.until) {
            tzi = answer.tzi;
            return answer.id;
        }
    }
    const std::shared_ptr<const kvwin::ZoneInfo> zone = kvwin::CurrentZone();
    const DWORD id = FillZoneInformation(*zone, tzi, nullptr, now);
    const int64_t next_year = kvwin::DaysFromCivil(YearOf(now) + 1, 1, 1) * 86400;
    std::lock_guard guard(answer.lock);
    answer.tz = std::move(tz);
    answer.from = now;
    answer.until = std::min(zone->NextChangeAfter(now), next_year);
    answer.tzi = tzi;
    answer.id = id;
    return id;
}

bool ValidTransition(const SYSTEMTIME& st) {
    if (st.wMonth == 0)
        return true;  // no transition
    if (st.wMonth > 12 || st.wHour > 23 || st.wMinute > 59 || st.wSecond > 59 ||
        st.wMilliseconds > 999) {
        return false;
    }
    if (st.wYear == 0)
        return st.wDay >= 1 && st.wDay <= 5 && st.wDayOfWeek <= 6;
    return st.wDay >= 1 && st.wDay <= 31;
}

// Local seconds since 1970 at which a Windows transition date falls in `year`.
int64_t TransitionLocalSeconds(const SYSTEMTIME& st, int64_t year) {
    int64_t days;
    if (st.wYear == 0) {
        kvwin::PosixDateRule rule;
        rule.form = kvwin::PosixDateRule::Form::MonthWeekDay;
        rule.month = st.wMonth;
        rule.week = st.wDay;
        rule.weekday = st.wDayOfWeek;
        rule.time = 0;
        days = kvwin::FloorDiv(rule.LocalSecondsIn(year), 86400);
    } else {
        const unsigned day = std::min<unsigned>(st.wDay, kvwin::DaysInMonth(year, st.wMonth));
        days = kvwin::DaysFromCivil(year, st.wMonth, day);
    }
    return days * 86400 + st.wHour * 3600 + st.wMinute * 60 + st.wSecond;
}

bool HasDaylightRule(const TIME_ZONE_INFORMATION& tzi) {
    return tzi.DaylightDate.wMonth != 0 && tzi.StandardDate.wMonth != 0;
}

// Whether a structure's rule puts a UTC instant in daylight time.
bool IsDaylightUnder(const TIME_ZONE_INFORMATION& tzi, int64_t utc) {
    if (!HasDaylightRule(tzi))
        return false;
    const int64_t standard_bias = (static_cast<int64_t>(tzi.Bias) + tzi.StandardBias) * 60;
    const int64_t daylight_bias = (static_cast<int64_t>(tzi.Bias) + tzi.DaylightBias) * 60;
    const int64_t year = kvwin::CivilFromDays(kvwin::FloorDiv(utc - standard_bias, 86400)).year;
    const int64_t begins = TransitionLocalSeconds(tzi.DaylightDate, year) + standard_bias;
    const int64_t ends = TransitionLocalSeconds(tzi.StandardDate, year) + daylight_bias;
    if (begins < ends)
        return utc >= begins && utc < ends;
    return !(utc >= ends && utc < begins);
}

bool ValidZoneStructure(const TIME_ZONE_INFORMATION& tzi) {
    return ValidTransition(tzi.StandardDate) && ValidTransition(tzi.DaylightDate);
}

bool ToUnixSeconds(const SYSTEMTIME& st, int64_t& seconds, int64_t& sub_second_ticks) {
    int64_t ticks = 0;
    if (!kvwin::TicksFromSystemTime(st, ticks))
        return false;
    seconds = kvwin::UnixSecondsFromTicks(ticks);
    sub_second_ticks = ticks - (kvwin::kFileTimeUnixEpoch + seconds * kvwin::kTicksPerSecond);
    return true;
}

bool FromUnixSeconds(int64_t seconds, int64_t sub_second_ticks, SYSTEMTIME& out) {
    const int64_t ticks =
        kvwin::kFileTimeUnixEpoch + seconds * kvwin::kTicksPerSecond + sub_second_ticks;
    SYSTEMTIME st = kvwin::SystemTimeFromTicks(ticks);
    int64_t check = 0;
    if (ticks < 0 || !kvwin::TicksFromSystemTime(st, check))
        return false;
    out = st;
    return true;
}

}  // namespace

extern "C" {

DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION lpTimeZoneInformation) {
    if (!lpTimeZoneInformation) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return TIME_ZONE_ID_INVALID;
    }
    try {
        return CurrentZoneInformation(*lpTimeZoneInformation);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return TIME_ZONE_ID_INVALID;
    }
}

DWORD GetDynamicTimeZoneInformation(PDYNAMIC_TIME_ZONE_INFORMATION pTimeZoneInformation) {
    if (!pTimeZoneInformation) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return TIME_ZONE_ID_INVALID;
    }
    try {
        TIME_ZONE_INFORMATION tzi;
        std::u16string key;
        const DWORD id = FillZoneInformation(*kvwin::CurrentZone(), tzi, &key, NowUnixSeconds());
        DYNAMIC_TIME_ZONE_INFORMATION& out = *pTimeZoneInformation;
        std::memset(&out, 0, sizeof out);
        out.Bias = tzi.Bias;
        std::memcpy(out.StandardName, tzi.StandardName, sizeof out.StandardName);
        out.StandardDate = tzi.StandardDate;
        out.StandardBias = tzi.StandardBias;
        std::memcpy(out.DaylightName, tzi.DaylightName, sizeof out.DaylightName);
        out.DaylightDate = tzi.DaylightDate;
        out.DaylightBias = tzi.DaylightBias;
        std::memcpy(out.TimeZoneKeyName, key.data(),
                    std::min<size_t>(key.size(), 127) * sizeof(WCHAR));
        out.DynamicDaylightTimeDisabled = FALSE;
        return id;
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return TIME_ZONE_ID_INVALID;
    }
}

BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* lpTimeZoneInformation,
                                     const SYSTEMTIME* lpUniversalTime, LPSYSTEMTIME lpLocalTime) {
    if (!lpUniversalTime || !lpLocalTime)
        return kvwin::FailWith(ERROR_INVALID_PARAMETER);
    try {
        int64_t utc = 0, fraction = 0;
        if (!ToUnixSeconds(*lpUniversalTime, utc, fraction)) {
            return kvwin::FailWith(ERROR_INVALID_PARAMETER);
        }
        int64_t offset = 0;  // seconds east of UTC
        if (!lpTimeZoneInformation) {
            offset = kvwin::CurrentZone()->At(utc).offset;
        } else {
            const TIME_ZONE_INFORMATION& tzi = *lpTimeZoneInformation;
            if (!ValidZoneStructure(tzi))
                return kvwin::FailWith(ERROR_INVALID_PARAMETER);
            const LONG extra = IsDaylightUnder(tzi, utc) ? tzi.DaylightBias : tzi.StandardBias;
            offset = -(static_cast<int64_t>(tzi.Bias) + extra) * 60;
        }
        if (!FromUnixSeconds(utc + offset, fraction, *lpLocalTime)) {
            return kvwin::FailWith(ERROR_INVALID_PARAMETER);
        }
        return TRUE;
    } catch (...) {
        return kvwin::FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL TzSpecificLocalTimeToSystemTime(const TIME_ZONE_INFORMATION* lpTimeZoneInformation,
                                     const SYSTEMTIME* lpLocalTime, LPSYSTEMTIME lpUniversalTime) {
    if (!lpLocalTime || !lpUniversalTime)
        return kvwin::FailWith(ERROR_INVALID_PARAMETER);
    try {
        int64_t local = 0, fraction = 0;
        if (!ToUnixSeconds(*lpLocalTime, local, fraction)) {
            return kvwin::FailWith(ERROR_INVALID_PARAMETER);
        }
        int64_t utc = 0;
        if (!lpTimeZoneInformation) {
            const auto zone = kvwin::CurrentZone();
            // Two rounds settle on the offset in force at the answer itself.
            utc = local - zone->At(local).offset;
            utc = local - zone->At(utc).offset;
        } else {
            const TIME_ZONE_INFORMATION& tzi = *lpTimeZoneInformation;
            if (!ValidZoneStructure(tzi))
                return kvwin::FailWith(ERROR_INVALID_PARAMETER);
            const int64_t as_daylight =
                local + (static_cast<int64_t>(tzi.Bias) + tzi.DaylightBias) * 60;
            utc = IsDaylightUnder(tzi, as_daylight)
                      ? as_daylight
                      : local + (static_cast<int64_t>(tzi.Bias) + tzi.StandardBias) * 60;
        }
        if (!FromUnixSeconds(utc, fraction, *lpUniversalTime)) {
            return kvwin::FailWith(ERROR_INVALID_PARAMETER);
        }
        return TRUE;
    } catch (...) {
        return kvwin::FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

}  // extern "C"
