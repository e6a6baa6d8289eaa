// CIM date-time text, the form WMI gives every datetime property:
//
//   yyyymmddHHMMSS.mmmmmmsUUU     20261206204741.123456+060
//
// local time of the given UTC offset, microseconds, and the offset in minutes east of UTC
// with its sign. Pure functions, safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kvwmi {

// The text for an instant (seconds and microseconds since 1970, UTC) shown in a zone
// `offset_minutes` east of UTC. Years outside 0..9999 are clamped to the form's four digits.
std::u16string FormatCimDateTime(std::int64_t unix_seconds, std::int32_t microseconds,
                                 std::int32_t offset_minutes);

// The same instant in the machine's local zone (the platform layer's zone of /etc/localtime).
std::u16string FormatCimDateTimeLocal(std::int64_t unix_seconds, std::int32_t microseconds = 0);

// A calendar date with no time (firmware release dates): midnight, offset +000.
std::u16string FormatCimDate(int year, int month, int day);

// Parses "mm/dd/yyyy", the form of DMI dates, into a CIM date; nullopt when malformed.
std::optional<std::u16string> CimDateFromDmiDate(std::string_view text);

}  // namespace kvwmi
