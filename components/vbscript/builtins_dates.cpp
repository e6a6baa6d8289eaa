// Dates and times: Now, Date, Time, DateAdd, DateDiff, DatePart, DateSerial, DateValue,
// TimeSerial, TimeValue, Year, Month, Day, Hour, Minute, Second, Weekday, WeekdayName,
// MonthName, CDate, IsDate.
//
// Dates are Automation dates; the layer's VariantTimeToSystemTime / SystemTimeToVariantTime
// do every conversion, and arithmetic runs on (day number, second of the day) pairs, to the
// second as the language counts.
#include <cmath>
#include <string>

#include "builtins.h"
#include "convert.h"
#include "errors.h"
#include "kvwin/civil_time.h"
#include "lexer.h"
#include "script_locale.h"
#include "win/oleauto.h"

namespace kvvbs {
namespace {

constexpr int64_t kEpoch = kvwin::DaysFromCivil(1899, 12, 30);

bool Given(const Value* a, uint32_t argc, uint32_t i) {
    return argc > i && !a[i].Deref().IsMissing();
}

bool IsNullArg(const Value& v) {
    return v.Deref().IsNull();
}

// A date as its day (counted from 30 Dec 1899 the calendar way) and second of the day.
struct Moment {
    int64_t day = 0;
    int64_t second = 0;
    SYSTEMTIME st{};
    int64_t Linear() const { return day * 86400 + second; }
};

Moment Split(double date) {
    Moment m;
    if (!VariantTimeToSystemTime(date, &m.st))
        Throw(kErrOverflow);
    m.day = kvwin::DaysFromCivil(m.st.wYear, m.st.wMonth, m.st.wDay) - kEpoch;
    m.second = m.st.wHour * 3600 + m.st.wMinute * 60 + m.st.wSecond;
    return m;
}

// The date of a day and second (the second may lie outside the day); error 5 when the
// result is outside 1 January 100 .. 31 December 9999.
double Join(int64_t day, int64_t second) {
    day += kvwin::FloorDiv(second, 86400);
    second -= kvwin::FloorDiv(second, 86400) * 86400;
    if (day < -657434 || day > 2958465)
        Throw(kErrIllegalCall);
    kvwin::CivilDate c = kvwin::CivilFromDays(day + kEpoch);
    SYSTEMTIME st{};
    st.wYear = WORD(c.year);
    st.wMonth = WORD(c.month);
    st.wDay = WORD(c.day);
    st.wHour = WORD(second / 3600);
    st.wMinute = WORD(second / 60 % 60);
    st.wSecond = WORD(second % 60);
    double out;
    if (!SystemTimeToVariantTime(&st, &out))
        Throw(kErrIllegalCall);
    return out;
}

int64_t WholeNumber(const Value& v) {
    double d = RoundEven(ToDouble(v));
    if (!(d > -1e15 && d < 1e15))
        Throw(kErrOverflow);
    return int64_t(d);
}

// The first day of the week argument: 1 (Sunday) .. 7; 0 is the locale's; omitted: Sunday.
int FirstDay(Runtime& rt, const Value* a, uint32_t argc, uint32_t i) {
    if (!Given(a, argc, i))
        return 1;
    int32_t f = ToLong(a[i]);
    if (f == 0)
        return ScriptLocale(rt).first_weekday;
    if (f < 1 || f > 7)
        Throw(kErrIllegalCall);
    return f;
}

// The first week of the year argument as the days of the new year week 1 needs.
int FirstWeek(Runtime& rt, const Value* a, uint32_t argc, uint32_t i) {
    int32_t f = Given(a, argc, i) ? ToLong(a[i]) : 1;
    switch (f) {
        case 0:
            return ScriptLocale(rt).first_week_days;
        case 1:
            return 1;
        case 2:
            return 4;
        case 3:
            return 7;
        default:
            Throw(kErrIllegalCall);
    }
}

// 1..7: the position of a day in a week that starts on `first` (1 = Sunday).
int WeekdayOf(int64_t day, int first) {
    int wd = int(kvwin::WeekdayFromDays(day + kEpoch));  // 0 = Sunday
    return (wd - (first - 1) + 7) % 7 + 1;
}

int64_t WeekStart(int64_t day, int first) {
    return day - (WeekdayOf(day, first) - 1);
}

// The week of the year: week 1 is the first week with `min_days` days of the year.
int WeekOfYear(int64_t day, int year, int first, int min_days) {
    for (int y = year; y >= year - 1; --y) {
        int64_t jan1 = kvwin::DaysFromCivil(y, 1, 1) - kEpoch;
        int64_t start = WeekStart(jan1, first);
        if (7 - (jan1 - start) < min_days)
            start += 7;
        if (day >= start)
            return int((day - start) / 7) + 1;
    }
    return 1;
}

enum class Interval { Year, Quarter, Month, DayOfYear, Day, Weekday, Week, Hour, Minute, Second };

Interval IntervalOf(const Value& v) {
    const std::u16string s = LowerName(ToText(Primitive(v)));
    if (s == u"yyyy")
        return Interval::Year;
    if (s == u"q")
        return Interval::Quarter;
    if (s == u"m")
        return Interval::Month;
    if (s == u"y")
        return Interval::DayOfYear;
    if (s == u"d")
        return Interval::Day;
    if (s == u"w")
        return Interval::Weekday;
    if (s == u"ww")
        return Interval::Week;
    if (s == u"h")
        return Interval::Hour;
    if (s == u"n")
        return Interval::Minute;
    if (s == u"s")
        return Interval::Second;
    Throw(kErrIllegalCall);
}

Value LongResult(int64_t n) {
    if (n < INT32_MIN || n > INT32_MAX)
        Throw(kErrOverflow);
    return Value::Long(int32_t(n));
}

// ---- the current time ----

double NowDate() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    st.wMilliseconds = 0;
    double d = 0;
    SystemTimeToVariantTime(&st, &d);
    return d;
}

Value Now(Runtime&, Value*, uint32_t) {
    return Value::Date(NowDate());
}
Value DateFn(Runtime&, Value*, uint32_t) {
    return Value::Date(std::trunc(NowDate()));
}
Value TimeFn(Runtime&, Value*, uint32_t) {
    double d = NowDate();
    return Value::Date(d - std::trunc(d));
}

// ---- building dates ----

Value DateSerial(Runtime&, Value* a, uint32_t) {
    int64_t y = WholeNumber(a[0]), m = WholeNumber(a[1]), d = WholeNumber(a[2]);
    if (y >= 0 && y <= 29)
        y += 2000;
    else if (y >= 30 && y <= 99)
        y += 1900;
    y += kvwin::FloorDiv(m - 1, 12);
    m -= kvwin::FloorDiv(m - 1, 12) * 12;
    if (y < 100 || y > 9999)
        Throw(kErrIllegalCall);
    return Value::Date(Join(kvwin::DaysFromCivil(y, unsigned(m), 1) - kEpoch + d - 1, 0));
}

Value TimeSerial(Runtime&, Value* a, uint32_t) {
    int64_t s = WholeNumber(a[0]) * 3600 + WholeNumber(a[1]) * 60 + WholeNumber(a[2]);
    return Value::Date(Join(0, s));
}

Value CDate(Runtime& rt, Value* a, uint32_t) {
    return Value::Date(ToDate(rt, a[0]));
}

Value DateValue(Runtime& rt, Value* a, uint32_t) {
    if (IsNullArg(a[0]))
        return Value::Null();
    return Value::Date(Join(Split(ToDate(rt, a[0])).day, 0));
}

Value TimeValue(Runtime& rt, Value* a, uint32_t) {
    if (IsNullArg(a[0]))
        return Value::Null();
    return Value::Date(Join(0, Split(ToDate(rt, a[0])).second));
}

Value IsDate(Runtime& rt, Value* a, uint32_t) {
    const Value& v = a[0].Deref();
    if (v.Is(Kind::Date))
        return Value::Bool(true);
    if (!v.IsString())
        return Value::Bool(false);
    std::u16string text(v.AsString());
    DATE d;
    return Value::Bool(VarDateFromStr(text.c_str(), ScriptLocale(rt).lcid, 0, &d) == S_OK);
}

// ---- parts ----

template <int (*Part)(const Moment&)>
Value PartOf(Runtime& rt, Value* a, uint32_t) {
    if (IsNullArg(a[0]))
        return Value::Null();
    return Value::Integer(Part(Split(ToDate(rt, a[0]))));
}
int YearPart(const Moment& m) {
    return m.st.wYear;
}
int MonthPart(const Moment& m) {
    return m.st.wMonth;
}
int DayPart(const Moment& m) {
    return m.st.wDay;
}
int HourPart(const Moment& m) {
    return m.st.wHour;
}
int MinutePart(const Moment& m) {
    return m.st.wMinute;
}
int SecondPart(const Moment& m) {
    return m.st.wSecond;
}

Value Weekday(Runtime& rt, Value* a, uint32_t argc) {
    if (IsNullArg(a[0]))
        return Value::Null();
    int first = FirstDay(rt, a, argc, 1);
    return Value::Integer(WeekdayOf(Split(ToDate(rt, a[0])).day, first));
}

Value WeekdayName(Runtime& rt, Value* a, uint32_t argc) {
    int32_t n = ToLong(a[0]);
    bool abbreviate = Given(a, argc, 1) && ToBool(a[1]);
    int first = FirstDay(rt, a, argc, 2);
    if (n < 1 || n > 7)
        Throw(kErrIllegalCall);
    const kvwin::LocaleData& loc = ScriptLocale(rt);
    size_t index = size_t((n - 1 + first - 1) % 7);
    return Value::String(abbreviate ? loc.abbrev_days[index] : loc.days[index]);
}

Value MonthName(Runtime& rt, Value* a, uint32_t argc) {
    int32_t n = ToLong(a[0]);
    bool abbreviate = Given(a, argc, 1) && ToBool(a[1]);
    if (n < 1 || n > 12)
        Throw(kErrIllegalCall);
    const kvwin::LocaleData& loc = ScriptLocale(rt);
    return Value::String(abbreviate ? loc.abbrev_months[size_t(n - 1)] : loc.months[size_t(n - 1)]);
}

// ---- interval arithmetic ----

double AddMonths(const Moment& m, int64_t months) {
    int64_t total = int64_t(m.st.wYear) * 12 + (m.st.wMonth - 1) + months;
    int64_t y = kvwin::FloorDiv(total, 12);
    unsigned mo = unsigned(total - y * 12 + 1);
    if (y < 100 || y > 9999)
        Throw(kErrIllegalCall);
    unsigned d = std::min<unsigned>(m.st.wDay, unsigned(kvwin::DaysInMonth(y, int(mo))));
    return Join(kvwin::DaysFromCivil(y, mo, d) - kEpoch, m.second);
}

Value DateAdd(Runtime& rt, Value* a, uint32_t) {
    Interval iv = IntervalOf(a[0]);
    if (IsNullArg(a[1]) || IsNullArg(a[2]))
        return Value::Null();
    int64_t n = WholeNumber(a[1]);
    Moment m = Split(ToDate(rt, a[2]));
    switch (iv) {
        case Interval::Year:
            return Value::Date(AddMonths(m, n * 12));
        case Interval::Quarter:
            return Value::Date(AddMonths(m, n * 3));
        case Interval::Month:
            return Value::Date(AddMonths(m, n));
        case Interval::DayOfYear:
        case Interval::Day:
        case Interval::Weekday:
            return Value::Date(Join(m.day + n, m.second));
        case Interval::Week:
            return Value::Date(Join(m.day + n * 7, m.second));
        case Interval::Hour:
            return Value::Date(Join(m.day, m.second + n * 3600));
        case Interval::Minute:
            return Value::Date(Join(m.day, m.second + n * 60));
        case Interval::Second:
            return Value::Date(Join(m.day, m.second + n));
    }
    Throw(kErrIllegalCall);
}

Value DateDiff(Runtime& rt, Value* a, uint32_t argc) {
    Interval iv = IntervalOf(a[0]);
    if (IsNullArg(a[1]) || IsNullArg(a[2]))
        return Value::Null();
    Moment m1 = Split(ToDate(rt, a[1])), m2 = Split(ToDate(rt, a[2]));
    int first = FirstDay(rt, a, argc, 3);
    FirstWeek(rt, a, argc, 4);  // checked; calendar weeks only count week starts
    auto months = [](const Moment& m) { return int64_t(m.st.wYear) * 12 + m.st.wMonth - 1; };
    switch (iv) {
        case Interval::Year:
            return LongResult(int64_t(m2.st.wYear) - m1.st.wYear);
        case Interval::Quarter:
            return LongResult(months(m2) / 3 - months(m1) / 3);
        case Interval::Month:
            return LongResult(months(m2) - months(m1));
        case Interval::DayOfYear:
        case Interval::Day:
            return LongResult(m2.day - m1.day);
        case Interval::Weekday:
            return LongResult((m2.day - m1.day) / 7);
        case Interval::Week:
            return LongResult((WeekStart(m2.day, first) - WeekStart(m1.day, first)) / 7);
        case Interval::Hour:
            return LongResult(kvwin::FloorDiv(m2.Linear(), 3600) -
                              kvwin::FloorDiv(m1.Linear(), 3600));
        case Interval::Minute:
            return LongResult(kvwin::FloorDiv(m2.Linear(), 60) - kvwin::FloorDiv(m1.Linear(), 60));
        case Interval::Second:
            return LongResult(m2.Linear() - m1.Linear());
    }
    Throw(kErrIllegalCall);
}

Value DatePart(Runtime& rt, Value* a, uint32_t argc) {
    Interval iv = IntervalOf(a[0]);
    int first = FirstDay(rt, a, argc, 2);
    int min_days = FirstWeek(rt, a, argc, 3);
    if (IsNullArg(a[1]))
        return Value::Null();
    Moment m = Split(ToDate(rt, a[1]));
    switch (iv) {
        case Interval::Year:
            return Value::Integer(m.st.wYear);
        case Interval::Quarter:
            return Value::Integer((m.st.wMonth - 1) / 3 + 1);
        case Interval::Month:
            return Value::Integer(m.st.wMonth);
        case Interval::DayOfYear:
            return Value::Integer(int(m.day + kEpoch - kvwin::DaysFromCivil(m.st.wYear, 1, 1)) + 1);
        case Interval::Day:
            return Value::Integer(m.st.wDay);
        case Interval::Weekday:
            return Value::Integer(WeekdayOf(m.day, first));
        case Interval::Week:
            return Value::Integer(WeekOfYear(m.day, m.st.wYear, first, min_days));
        case Interval::Hour:
            return Value::Integer(m.st.wHour);
        case Interval::Minute:
            return Value::Integer(m.st.wMinute);
        case Interval::Second:
            return Value::Integer(m.st.wSecond);
    }
    Throw(kErrIllegalCall);
}

const Builtin kDates[] = {
    {u"now", 0, 0, Now},
    {u"date", 0, 0, DateFn},
    {u"time", 0, 0, TimeFn},
    {u"dateserial", 3, 3, DateSerial},
    {u"timeserial", 3, 3, TimeSerial},
    {u"datevalue", 1, 1, DateValue},
    {u"timevalue", 1, 1, TimeValue},
    {u"cdate", 1, 1, CDate},
    {u"isdate", 1, 1, IsDate},
    {u"year", 1, 1, PartOf<YearPart>},
    {u"month", 1, 1, PartOf<MonthPart>},
    {u"day", 1, 1, PartOf<DayPart>},
    {u"hour", 1, 1, PartOf<HourPart>},
    {u"minute", 1, 1, PartOf<MinutePart>},
    {u"second", 1, 1, PartOf<SecondPart>},
    {u"weekday", 1, 2, Weekday},
    {u"weekdayname", 1, 3, WeekdayName},
    {u"monthname", 1, 2, MonthName},
    {u"dateadd", 3, 3, DateAdd},
    {u"datediff", 3, 5, DateDiff},
    {u"datepart", 2, 4, DatePart},
};

}  // namespace

std::span<const Builtin> DateBuiltins() {
    return kDates;
}

}  // namespace kvvbs
