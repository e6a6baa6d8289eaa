// The machine's time zone described as Windows describes one: the bias from UTC and the two
// yearly transition dates, from the platform layer's zone database reader.
//
// Safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "kvwin/time_zone.h"

namespace kvlinux {

// A yearly transition in the Windows form: month, week of the month (5 = last), weekday
// (0 = Sunday), time of day. nullopt fields when the rule has no such form.
struct TransitionDate {
    std::uint32_t month = 0, week = 0, weekday = 0, hour = 0, minute = 0, second = 0;
};

struct TimeZoneDescription {
    std::string zone_name;           // "Europe/Paris"
    std::string windows_key;         // "Romance Standard Time", or "" when unknown
    std::string standard_name;       // Windows standard name, else the abbreviation ("CET")
    std::string daylight_name;       // Windows daylight name, else the abbreviation ("CEST")
    std::int32_t bias_minutes = 0;   // standard offset east of UTC: Paris +60, New York -300
    std::int32_t daylight_bias = 0;  // as Windows counts it: -60 for a one-hour shift
    std::optional<TransitionDate> daylight_start;  // in local standard time
    std::optional<TransitionDate> standard_start;  // in local daylight time
    std::int32_t current_offset_minutes = 0;       // east of UTC, now
};

TimeZoneDescription DescribeZone(const kvwin::ZoneInfo& zone, std::int64_t now_unix_seconds);

// The machine's zone (/etc/localtime, /etc/timezone), whatever TZ this process has.
kvwin::ZoneInfo MachineZone();

}  // namespace kvlinux
