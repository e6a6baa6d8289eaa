// System time, local time and FILETIME conversions.
#include <time.h>

#include "kvwin/civil_time.h"
#include "kvwin/last_error.h"
#include "kvwin/time_zone.h"

namespace {

constexpr int64_t kMaxFileTime = INT64_MAX;

int64_t NowTicks() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return kvwin::kFileTimeUnixEpoch + static_cast<int64_t>(ts.tv_sec) * kvwin::kTicksPerSecond +
           ts.tv_nsec / 100;
}

// The current zone's offset from UTC right now, in ticks.
bool CurrentOffsetTicks(int64_t& offset) {
    try {
        const auto zone = kvwin::CurrentZone();
        offset = static_cast<int64_t>(zone->At(kvwin::UnixSecondsFromTicks(NowTicks())).offset) *
                 kvwin::kTicksPerSecond;
        return true;
    } catch (...) {
        return false;
    }
}

BOOL ShiftFileTime(const FILETIME* in, LPFILETIME out, int sign) {
    if (!in || !out)
        return kvwin::FailWith(ERROR_INVALID_PARAMETER);
    int64_t offset = 0;
    if (!CurrentOffsetTicks(offset))
        return kvwin::FailWith(ERROR_NOT_ENOUGH_MEMORY);
    const int64_t ticks = kvwin::TicksFromFileTime(*in);
    if (ticks < 0)
        return kvwin::FailWith(ERROR_INVALID_PARAMETER);
    const int64_t shifted = ticks + sign * offset;
    if (shifted < 0)
        return kvwin::FailWith(ERROR_INVALID_PARAMETER);
    *out = kvwin::FileTimeFromTicks(shifted);
    return TRUE;
}

}  // namespace

extern "C" {

void GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime) {
    if (lpSystemTimeAsFileTime)
        *lpSystemTimeAsFileTime = kvwin::FileTimeFromTicks(NowTicks());
}

void GetSystemTime(LPSYSTEMTIME lpSystemTime) {
    if (lpSystemTime)
        *lpSystemTime = kvwin::SystemTimeFromTicks(NowTicks());
}

void GetLocalTime(LPSYSTEMTIME lpSystemTime) {
    if (!lpSystemTime)
        return;
    const int64_t now = NowTicks();
    int64_t offset = 0;
    try {
        offset =
            static_cast<int64_t>(kvwin::CurrentZoneOffsetAt(kvwin::UnixSecondsFromTicks(now))) *
            kvwin::kTicksPerSecond;
    } catch (...) {
        offset = 0;
    }
    *lpSystemTime = kvwin::SystemTimeFromTicks(now + offset);
}

BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime) {
    if (!lpFileTime || !lpSystemTime)
        return kvwin::FailWith(ERROR_INVALID_PARAMETER);
    const uint64_t raw =
        (static_cast<uint64_t>(lpFileTime->dwHighDateTime) << 32) | lpFileTime->dwLowDateTime;
    if (raw > static_cast<uint64_t>(kMaxFileTime))
        return kvwin::FailWith(ERROR_INVALID_PARAMETER);
    *lpSystemTime = kvwin::SystemTimeFromTicks(static_cast<int64_t>(raw));
    return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime) {
    if (!lpSystemTime || !lpFileTime)
        return kvwin::FailWith(ERROR_INVALID_PARAMETER);
    int64_t ticks = 0;
    if (!kvwin::TicksFromSystemTime(*lpSystemTime, ticks)) {
        return kvwin::FailWith(ERROR_INVALID_PARAMETER);
    }
    *lpFileTime = kvwin::FileTimeFromTicks(ticks);
    return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime) {
    return ShiftFileTime(lpFileTime, lpLocalFileTime, +1);
}

BOOL LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime, LPFILETIME lpFileTime) {
    return ShiftFileTime(lpLocalFileTime, lpFileTime, -1);
}

LONG CompareFileTime(const FILETIME* lpFileTime1, const FILETIME* lpFileTime2) {
    if (!lpFileTime1 || !lpFileTime2)
        return 0;
    const uint64_t a =
        (static_cast<uint64_t>(lpFileTime1->dwHighDateTime) << 32) | lpFileTime1->dwLowDateTime;
    const uint64_t b =
        (static_cast<uint64_t>(lpFileTime2->dwHighDateTime) << 32) | lpFileTime2->dwLowDateTime;
    return a < b ? -1 : (a > b ? 1 : 0);
}

}  // extern "C"
