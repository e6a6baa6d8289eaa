// Calendar arithmetic shared by the time functions (proleptic Gregorian, UTC, no leap seconds).
//
// Pure functions, safe from any thread.
#pragma once

#include <cstdint>

#include "win/systime.h"

namespace kvwin {

// 100-nanosecond intervals from 1601-01-01 to 1970-01-01.
inline constexpr int64_t kFileTimeUnixEpoch = 116444736000000000LL;
inline constexpr int64_t kTicksPerSecond = 10000000LL;
inline constexpr int64_t kTicksPerMillisecond = 10000LL;

inline constexpr bool IsLeapYear(int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

inline constexpr int DaysInMonth(int64_t y, int m) {
    constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return (m == 2 && IsLeapYear(y)) ? 29 : kDays[m - 1];
}

// Days from 1970-01-01 to y-m-d.
inline constexpr int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

struct CivilDate {
    int64_t year;
    unsigned month;
    unsigned day;
};

inline constexpr CivilDate CivilFromDays(int64_t z) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {y + (m <= 2), m, d};
}

// 0 = Sunday.
inline constexpr unsigned WeekdayFromDays(int64_t z) {
    return static_cast<unsigned>(z >= -4 ? (z + 4) % 7 : (z + 5) % 7 + 6);
}

inline constexpr int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// Seconds since 1970 for a FILETIME-scale tick count, rounded down.
inline constexpr int64_t UnixSecondsFromTicks(int64_t ticks) {
    return FloorDiv(ticks - kFileTimeUnixEpoch, kTicksPerSecond);
}

// Broken-down time of a tick count (must be >= 0).
KVWIN_API SYSTEMTIME SystemTimeFromTicks(int64_t ticks);

// Tick count of a SYSTEMTIME; false when a field is out of range (wDayOfWeek ignored).
KVWIN_API bool TicksFromSystemTime(const SYSTEMTIME& st, int64_t& ticks);

inline int64_t TicksFromFileTime(const FILETIME& ft) {
    return static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) |
                                ft.dwLowDateTime);
}

inline FILETIME FileTimeFromTicks(int64_t ticks) {
    const uint64_t v = static_cast<uint64_t>(ticks);
    return FILETIME{static_cast<DWORD>(v & 0xFFFFFFFFu), static_cast<DWORD>(v >> 32)};
}

// The 32-bit tick count for a millisecond count of the monotonic clock: the low 32 bits,
// so it wraps to zero every 2^32 ms (49.7 days) and unsigned differences stay right.
inline constexpr DWORD TickCountFromMilliseconds(uint64_t ms) {
    return static_cast<DWORD>(ms);
}

}  // namespace kvwin
