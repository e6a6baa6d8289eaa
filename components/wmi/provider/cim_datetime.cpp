#include "provider/cim_datetime.h"

#include <cstdio>

#include "kvwin/civil_time.h"
#include "kvwin/time_zone.h"

namespace kvwmi {

namespace {

std::u16string Widen(const char* text) {
    std::u16string out;
    for (const char* p = text; *p; ++p)
        out += static_cast<char16_t>(*p);
    return out;
}

}  // namespace

std::u16string FormatCimDateTime(std::int64_t unix_seconds, std::int32_t microseconds,
                                 std::int32_t offset_minutes) {
    const std::int64_t local = unix_seconds + std::int64_t(offset_minutes) * 60;
    const std::int64_t days = kvwin::FloorDiv(local, 86400);
    const std::int64_t second_of_day = local - days * 86400;
    kvwin::CivilDate date = kvwin::CivilFromDays(days);
    std::int64_t year = date.year < 0 ? 0 : date.year > 9999 ? 9999 : date.year;
    const std::int32_t micro = microseconds % 1000000;
    if (micro >= 0) {
        // yyyymmddHHMMSS.mmmmmm+UUU, every field in range: written digit by digit.
        char16_t out[25];
        auto put = [&out](size_t at, std::int64_t value, int width) {
            for (int i = width - 1; i >= 0; --i, value /= 10)
                out[at + size_t(i)] = char16_t(u'0' + value % 10);
        };
        put(0, year, 4);
        put(4, date.month, 2);
        put(6, date.day, 2);
        put(8, second_of_day / 3600, 2);
        put(10, second_of_day / 60 % 60, 2);
        put(12, second_of_day % 60, 2);
        out[14] = u'.';
        put(15, micro, 6);
        out[21] = offset_minutes < 0 ? u'-' : u'+';
        put(22, (offset_minutes < 0 ? -std::int64_t(offset_minutes) : offset_minutes) % 1000, 3);
        return std::u16string(out, 25);
    }
    char text[64];
    std::snprintf(text, sizeof text, "%04d%02u%02u%02d%02d%02d.%06d%c%03d", int(year), date.month,
                  date.day, int(second_of_day / 3600), int(second_of_day / 60 % 60),
                  int(second_of_day % 60), int(microseconds % 1000000),
                  offset_minutes < 0 ? '-' : '+',
                  int(offset_minutes < 0 ? -offset_minutes : offset_minutes) % 1000);
    return Widen(text);
}

std::u16string FormatCimDateTimeLocal(std::int64_t unix_seconds, std::int32_t microseconds) {
    // The machine's zone, not this process's TZ: inventory reports what the machine shows.
    static const kvwin::ZoneInfo zone = kvwin::LoadZone(std::nullopt);
    return FormatCimDateTime(unix_seconds, microseconds, zone.At(unix_seconds).offset / 60);
}

std::u16string FormatCimDate(int year, int month, int day) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d%02d%02d000000.000000+000", year, month, day);
    return Widen(text);
}

std::optional<std::u16string> CimDateFromDmiDate(std::string_view text) {
    int month = 0, day = 0, year = 0;
    char tail = 0;
    std::string copy(text);
    if (std::sscanf(copy.c_str(), "%2d/%2d/%4d%c", &month, &day, &year, &tail) != 3)
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > kvwin::DaysInMonth(year, month) ||
        year < 1900 || year > 9999)
        return std::nullopt;
    return FormatCimDate(year, month, day);
}

}  // namespace kvwmi
