// Time zones read from the system's zone database, without the C library's global state.
//
// A ZoneInfo is immutable once built and may be shared between threads freely. CurrentZone()
// is safe from any thread; its cache is guarded by its own lock.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "win/systime.h"
#include "win/types.h"

namespace kvwin {

// One transition date of a POSIX zone rule.
struct KVWIN_API PosixDateRule {
    enum class Form { MonthWeekDay, JulianNoLeap, ZeroBasedDay };
    Form form = Form::MonthWeekDay;
    int month = 0;        // MonthWeekDay: 1..12
    int week = 0;         // MonthWeekDay: 1..5, 5 = last
    int weekday = 0;      // MonthWeekDay: 0 = Sunday
    int day = 0;          // JulianNoLeap: 1..365; ZeroBasedDay: 0..365
    int32_t time = 7200;  // seconds after local midnight; may be negative or past 24 h

    // Local (wall-clock) seconds since 1970 at which the transition happens in `year`.
    int64_t LocalSecondsIn(int64_t year) const;
};

// A rule such as "EST5EDT,M3.2.0,M11.1.0". Offsets are seconds east of UTC.
struct KVWIN_API PosixZone {
    std::string std_name;
    int32_t std_offset = 0;
    bool has_dst = false;
    std::string dst_name;
    int32_t dst_offset = 0;
    PosixDateRule start;  // into daylight time, in local standard time
    PosixDateRule end;    // back to standard time, in local daylight time

    bool IsDaylightAt(int64_t unix_seconds) const;
};

KVWIN_API std::optional<PosixZone> ParsePosixZone(std::string_view text);

struct LocalTimeType {
    int32_t offset = 0;  // seconds east of UTC
    bool is_dst = false;
    std::string abbreviation;
};

struct KVWIN_API ZoneInfo {
    std::string name;  // "Asia/Kolkata", a POSIX rule as written, or "UTC"
    std::vector<int64_t> transitions;
    std::vector<uint8_t> transition_types;
    std::vector<LocalTimeType> types;
    std::optional<PosixZone> rule;  // for times after the last transition

    // The local time type in effect at an instant.
    LocalTimeType At(int64_t unix_seconds) const;
    // The earliest instant after unix_seconds at which At() may answer differently: a
    // transition, a rule's change into or out of daylight time, or the year boundary the
    // rule is evaluated by (INT64_MAX: never). Never later than a real change; it may be
    // earlier (a transition between two types alike).
    int64_t NextChangeAfter(int64_t unix_seconds) const;
    // The zone's present rule: its POSIX footer, or a fixed offset from the type in force.
    PosixZone PresentRule(int64_t now_unix_seconds) const;
};

KVWIN_API ZoneInfo UtcZone();

// Parses the bytes of a TZif file (versions 1 to 4). nullopt for a malformed file.
KVWIN_API std::optional<ZoneInfo> ParseTzif(std::string_view bytes, std::string name);

// Builds the zone a TZ value stands for (nullopt: TZ unset). Never fails: what cannot be
// understood is UTC, as the C library treats it.
KVWIN_API ZoneInfo LoadZone(const std::optional<std::string>& tz);

// The zone of the current TZ value, cached per value.
KVWIN_API std::shared_ptr<const ZoneInfo> CurrentZone();

// The current zone's offset from UTC (seconds east) at an instant, kept between the zone's
// changes: while the TZ value stays and no change lies between, one look at the cache.
KVWIN_API int32_t CurrentZoneOffsetAt(int64_t unix_seconds);

// Windows names for a zone: key name, standard name and daylight name. Empty strings when
// the zone is not in the table.
struct WindowsZoneNames {
    std::u16string key;
    std::u16string standard;
    std::u16string daylight;
};
KVWIN_API WindowsZoneNames WindowsNamesFor(std::string_view zone_name);

}  // namespace kvwin
