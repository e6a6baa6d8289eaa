#include "linux/time_zone_info.h"

#include "kvwin/utf.h"

namespace kvlinux {

namespace {

std::optional<TransitionDate> WindowsForm(const kvwin::PosixDateRule& rule) {
    // Windows can only say "the n-th weekday of a month"; Julian-day rules have no equal.
    if (rule.form != kvwin::PosixDateRule::Form::MonthWeekDay || rule.time < 0 ||
        rule.time >= 24 * 3600)
        return std::nullopt;
    TransitionDate date;
    date.month = static_cast<std::uint32_t>(rule.month);
    date.week = static_cast<std::uint32_t>(rule.week);
    date.weekday = static_cast<std::uint32_t>(rule.weekday);
    date.hour = static_cast<std::uint32_t>(rule.time / 3600);
    date.minute = static_cast<std::uint32_t>(rule.time / 60 % 60);
    date.second = static_cast<std::uint32_t>(rule.time % 60);
    return date;
}

}  // namespace

TimeZoneDescription DescribeZone(const kvwin::ZoneInfo& zone, std::int64_t now_unix_seconds) {
    TimeZoneDescription d;
    d.zone_name = zone.name;
    kvwin::PosixZone rule = zone.PresentRule(now_unix_seconds);
    kvwin::WindowsZoneNames names = kvwin::WindowsNamesFor(zone.name);
    d.windows_key = kvwin::ToUtf8(names.key);
    d.standard_name = names.standard.empty() ? rule.std_name : kvwin::ToUtf8(names.standard);
    d.daylight_name = names.daylight.empty() ? (rule.has_dst ? rule.dst_name : rule.std_name)
                                             : kvwin::ToUtf8(names.daylight);
    d.bias_minutes = rule.std_offset / 60;
    if (rule.has_dst) {
        d.daylight_bias = -(rule.dst_offset - rule.std_offset) / 60;
        d.daylight_start = WindowsForm(rule.start);
        d.standard_start = WindowsForm(rule.end);
    }
    d.current_offset_minutes = zone.At(now_unix_seconds).offset / 60;
    return d;
}

kvwin::ZoneInfo MachineZone() {
    return kvwin::LoadZone(std::nullopt);
}

}  // namespace kvlinux
