// Tick counts (CLOCK_MONOTONIC_COARSE), sleeping and the performance counter (CLOCK_MONOTONIC).
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "kvwin/civil_time.h"
#include "win/systime.h"

namespace {

timespec Monotonic() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts;
}

// The tick count: the coarse clock, a few milliseconds fine (Windows' own tick moves every
// 10 to 16 ms) and several times cheaper to read than the precise one.
uint64_t TickMilliseconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

constexpr int64_t kPerformanceFrequency = 10000000;  // 100 ns units, as on current Windows

}  // namespace

extern "C" {

DWORD GetTickCount(void) {
    return kvwin::TickCountFromMilliseconds(TickMilliseconds());
}

ULONGLONG GetTickCount64(void) {
    return TickMilliseconds();
}

void Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == 0) {
        ::sched_yield();
        return;
    }
    if (dwMilliseconds == INFINITE) {
        for (;;)
            ::pause();
    }
    timespec left{static_cast<time_t>(dwMilliseconds / 1000),
                  static_cast<long>(dwMilliseconds % 1000) * 1000000L};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

DWORD SleepEx(DWORD dwMilliseconds, BOOL /*bAlertable*/) {
    Sleep(dwMilliseconds);
    return 0;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* lpPerformanceCount) {
    if (!lpPerformanceCount) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const timespec ts = Monotonic();
    lpPerformanceCount->QuadPart =
        static_cast<LONGLONG>(ts.tv_sec) * kPerformanceFrequency + ts.tv_nsec / 100;
    return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* lpFrequency) {
    if (!lpFrequency) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    lpFrequency->QuadPart = kPerformanceFrequency;
    return TRUE;
}

}  // extern "C"
