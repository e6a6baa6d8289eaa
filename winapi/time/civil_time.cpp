// SYSTEMTIME and tick-count conversions.
#include "kvwin/civil_time.h"

namespace kvwin {

SYSTEMTIME SystemTimeFromTicks(int64_t ticks) {
    const int64_t since_unix = ticks - kFileTimeUnixEpoch;
    const int64_t days = FloorDiv(since_unix, kTicksPerSecond * 86400);
    const int64_t in_day = since_unix - days * kTicksPerSecond * 86400;
    const CivilDate date = CivilFromDays(days);
    const int64_t seconds = in_day / kTicksPerSecond;
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(date.year);
    st.wMonth = static_cast<WORD>(date.month);
    st.wDay = static_cast<WORD>(date.day);
    st.wDayOfWeek = static_cast<WORD>(WeekdayFromDays(days));
    st.wHour = static_cast<WORD>(seconds / 3600);
    st.wMinute = static_cast<WORD>(seconds / 60 % 60);
    st.wSecond = static_cast<WORD>(seconds % 60);
    st.wMilliseconds = static_cast<WORD>(in_day % kTicksPerSecond / kTicksPerMillisecond);
    return st;
}

bool TicksFromSystemTime(const SYSTEMTIME& st, int64_t& ticks) {
    if (st.wYear < 1601 || st.wYear > 30827 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
        st.wDay > DaysInMonth(st.wYear, st.wMonth) || st.wHour > 23 || st.wMinute > 59 ||
        st.wSecond > 59 || st.wMilliseconds > 999) {
        return false;
    }
    const int64_t days = DaysFromCivil(st.wYear, st.wMonth, st.wDay);
    const int64_t seconds = days * 86400 + st.wHour * 3600 + st.wMinute * 60 + st.wSecond;
    ticks =
        kFileTimeUnixEpoch + seconds * kTicksPerSecond + st.wMilliseconds * kTicksPerMillisecond;
    return true;
}

}  // namespace kvwin
