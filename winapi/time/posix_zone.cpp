// POSIX TZ rules: "std offset [dst [offset] [,start[/time],end[/time]]]".
#include <cctype>

#include "kvwin/civil_time.h"
#include "kvwin/time_zone.h"

namespace kvwin {

namespace {

class Cursor {
  public:
    explicit Cursor(std::string_view text) : text_(text) {}
    bool AtEnd() const { return pos_ >= text_.size(); }
    char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }
    bool Take(char c) {
        if (Peek() != c)
            return false;
        ++pos_;
        return true;
    }

    // A zone abbreviation: three or more letters, or <...> with letters, digits, + and -.
    bool Name(std::string& out) {
        out.clear();
        if (Take('<')) {
            while (!AtEnd() && Peek() != '>') {
                const char c = Peek();
                if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-') {
                    return false;
                }
                out.push_back(c);
                ++pos_;
            }
            return Take('>') && out.size() >= 3;
        }
        while (std::isalpha(static_cast<unsigned char>(Peek())))
            out.push_back(text_[pos_++]);
        return out.size() >= 3;
    }

    bool Number(int max, int& out) {
        if (!std::isdigit(static_cast<unsigned char>(Peek())))
            return false;
        out = 0;
        while (std::isdigit(static_cast<unsigned char>(Peek()))) {
            out = out * 10 + (text_[pos_++] - '0');
            if (out > max)
                return false;
        }
        return true;
    }

    // [+-]hh[:mm[:ss]] as seconds; hours up to max_hours.
    bool Duration(int max_hours, int32_t& out) {
        int sign = 1;
        if (Take('-')) {
            sign = -1;
        } else {
            Take('+');
        }
        int h = 0, m = 0, s = 0;
        if (!Number(max_hours, h))
            return false;
        if (Take(':')) {
            if (!Number(59, m))
                return false;
            if (Take(':') && !Number(59, s))
                return false;
        }
        out = sign * (h * 3600 + m * 60 + s);
        return true;
    }

    bool Date(PosixDateRule& rule) {
        if (Take('M')) {
            rule.form = PosixDateRule::Form::MonthWeekDay;
            if (!Number(12, rule.month) || rule.month < 1 || !Take('.'))
                return false;
            if (!Number(5, rule.week) || rule.week < 1 || !Take('.'))
                return false;
            if (!Number(6, rule.weekday))
                return false;
        } else if (Take('J')) {
            rule.form = PosixDateRule::Form::JulianNoLeap;
            if (!Number(365, rule.day) || rule.day < 1)
                return false;
        } else {
            rule.form = PosixDateRule::Form::ZeroBasedDay;
            if (!Number(365, rule.day))
                return false;
        }
        rule.time = 7200;
        if (Take('/'))
            return Duration(167, rule.time);
        return true;
    }

  private:
    std::string_view text_;
    size_t pos_ = 0;
};

}  // namespace

int64_t PosixDateRule::LocalSecondsIn(int64_t year) const {
    int64_t days = DaysFromCivil(year, 1, 1);
    switch (form) {
        case Form::MonthWeekDay: {
            const int64_t first = DaysFromCivil(year, static_cast<unsigned>(month), 1);
            int day_of_month = 1 + (weekday - static_cast<int>(WeekdayFromDays(first)) + 7) % 7;
            day_of_month += (week - 1) * 7;
            while (day_of_month > DaysInMonth(year, month))
                day_of_month -= 7;
            days = first + day_of_month - 1;
            break;
        }
        case Form::JulianNoLeap:
            days += day - 1 + ((IsLeapYear(year) && day >= 60) ? 1 : 0);
            break;
        case Form::ZeroBasedDay:
            days += day;
            break;
    }
    return days * 86400 + time;
}

bool PosixZone::IsDaylightAt(int64_t t) const {
    if (!has_dst)
        return false;
    const int64_t year = CivilFromDays(FloorDiv(t + std_offset, 86400)).year;
    const int64_t begins = start.LocalSecondsIn(year) - std_offset;
    const int64_t ends = end.LocalSecondsIn(year) - dst_offset;
    if (begins < ends)
        return t >= begins && t < ends;
    return !(t >= ends && t < begins);  // southern hemisphere: daylight spans the new year
}

std::optional<PosixZone> ParsePosixZone(std::string_view text) {
    Cursor in(text);
    PosixZone zone;
    int32_t west = 0;
    if (!in.Name(zone.std_name) || !in.Duration(24, west))
        return std::nullopt;
    zone.std_offset = -west;
    if (in.AtEnd())
        return zone;
    if (!in.Name(zone.dst_name))
        return std::nullopt;
    zone.has_dst = true;
    zone.dst_offset = zone.std_offset + 3600;
    if (in.Peek() != ',' && !in.AtEnd()) {
        if (!in.Duration(24, west))
            return std::nullopt;
        zone.dst_offset = -west;
    }
    if (in.AtEnd()) {
        // No dates given: the C library's default, the United States rule.
        zone.start = PosixDateRule{PosixDateRule::Form::MonthWeekDay, 3, 2, 0, 0, 7200};
        zone.end = PosixDateRule{PosixDateRule::Form::MonthWeekDay, 11, 1, 0, 0, 7200};
        return zone;
    }
    if (!in.Take(',') || !in.Date(zone.start) || !in.Take(',') || !in.Date(zone.end)) {
        return std::nullopt;
    }
    if (!in.AtEnd())
        return std::nullopt;
    return zone;
}

}  // namespace kvwin
