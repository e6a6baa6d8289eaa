// Clocks, calendar times, file times and time zones.
//
// FILETIME counts 100-nanosecond intervals since 1601-01-01 UTC. SYSTEMTIME is a broken-down
// calendar time. Local times come from the system's time-zone database: the TZ variable
// when set (a zone name such as "Asia/Kolkata" or ":Asia/Kolkata", an absolute path to a
// zone file, or a POSIX rule such as "EST5EDT,M3.2.0,M11.1.0"), else /etc/localtime, else
// UTC. Zone files are read by the layer itself (no process-wide C-library time-zone state)
// and cached per TZ value. Every function here is safe to call from any thread.
#pragma once

#include "win/handles.h"
#include "win/types.h"

extern "C" {

// FILETIME itself is in win/types.h: files use it too.

typedef struct _SYSTEMTIME {
    WORD wYear;
    WORD wMonth;      // 1..12
    WORD wDayOfWeek;  // 0 = Sunday
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
} SYSTEMTIME, *PSYSTEMTIME, *LPSYSTEMTIME;

typedef struct _TIME_ZONE_INFORMATION {
    LONG Bias;  // minutes; UTC = local time + Bias
    WCHAR StandardName[32];
    SYSTEMTIME StandardDate;
    LONG StandardBias;
    WCHAR DaylightName[32];
    SYSTEMTIME DaylightDate;
    LONG DaylightBias;
} TIME_ZONE_INFORMATION, *PTIME_ZONE_INFORMATION, *LPTIME_ZONE_INFORMATION;

typedef struct _TIME_DYNAMIC_ZONE_INFORMATION {
    LONG Bias;
    WCHAR StandardName[32];
    SYSTEMTIME StandardDate;
    LONG StandardBias;
    WCHAR DaylightName[32];
    SYSTEMTIME DaylightDate;
    LONG DaylightBias;
    WCHAR TimeZoneKeyName[128];
    BOOL DynamicDaylightTimeDisabled;
} DYNAMIC_TIME_ZONE_INFORMATION, *PDYNAMIC_TIME_ZONE_INFORMATION;

#define TIME_ZONE_ID_INVALID ((DWORD)0xFFFFFFFF)
#define TIME_ZONE_ID_UNKNOWN 0
#define TIME_ZONE_ID_STANDARD 1
#define TIME_ZONE_ID_DAYLIGHT 2

// ---- Clocks -------------------------------------------------------------------------------
// Milliseconds of the monotonic clock; the 32-bit form wraps every 49.7 days.
KVWIN_API DWORD GetTickCount(void);
KVWIN_API ULONGLONG GetTickCount64(void);
// Sleeps at least dwMilliseconds; Sleep(0) yields the processor; INFINITE never returns.
KVWIN_API void Sleep(DWORD dwMilliseconds);
// As Sleep; there are no asynchronous procedure calls to run, so it always returns 0.
KVWIN_API DWORD SleepEx(DWORD dwMilliseconds, BOOL bAlertable);
// A 10 MHz monotonic counter.
KVWIN_API BOOL QueryPerformanceCounter(LARGE_INTEGER* lpPerformanceCount);
KVWIN_API BOOL QueryPerformanceFrequency(LARGE_INTEGER* lpFrequency);

// ---- Calendar and file times --------------------------------------------------------------
KVWIN_API void GetSystemTime(LPSYSTEMTIME lpSystemTime);
KVWIN_API void GetLocalTime(LPSYSTEMTIME lpSystemTime);
KVWIN_API void GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime);
// Fails with ERROR_INVALID_PARAMETER for a file time at or above 0x8000000000000000.
KVWIN_API BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime);
// Fails with ERROR_INVALID_PARAMETER unless every field is in range (years 1601..30827);
// wDayOfWeek is ignored.
KVWIN_API BOOL SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime);
// Shift by the current zone's offset as it is now (not as it was at the time given).
KVWIN_API BOOL FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime);
KVWIN_API BOOL LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime, LPFILETIME lpFileTime);
// -1, 0 or 1.
KVWIN_API LONG CompareFileTime(const FILETIME* lpFileTime1, const FILETIME* lpFileTime2);

// ---- Time zones ---------------------------------------------------------------------------
// The current zone's present rule. Returns TIME_ZONE_ID_UNKNOWN for a zone without
// daylight time, otherwise TIME_ZONE_ID_STANDARD or TIME_ZONE_ID_DAYLIGHT for this moment.
KVWIN_API DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION lpTimeZoneInformation);
// As GetTimeZoneInformation, plus the zone's key name.
KVWIN_API DWORD GetDynamicTimeZoneInformation(PDYNAMIC_TIME_ZONE_INFORMATION pTimeZoneInformation);
// With a null zone, converts with the current zone's full history; with a zone structure,
// applies that structure's rule to the year of the time given.
KVWIN_API BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* lpTimeZoneInformation,
                                               const SYSTEMTIME* lpUniversalTime,
                                               LPSYSTEMTIME lpLocalTime);
KVWIN_API BOOL TzSpecificLocalTimeToSystemTime(const TIME_ZONE_INFORMATION* lpTimeZoneInformation,
                                               const SYSTEMTIME* lpLocalTime,
                                               LPSYSTEMTIME lpUniversalTime);

}  // extern "C"
