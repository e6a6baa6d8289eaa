// Regional settings by LCID: the separators, currency, names and date patterns that number,
// currency and date texts are written and read with.
//
// The data comes from the C library's locale database (the "xx_YY.UTF-8" locales, read with
// newlocale/nl_langinfo_l, never through the process's global locale). The date and time
// patterns are Windows-style ("M/d/yyyy", "dddd, MMMM d, yyyy", "h:mm:ss tt"): Windows'
// defaults for the LCIDs that have one, otherwise translated from the locale's own formats.
// en-US is always available: when its locale is not installed, Windows' en-US settings serve.
//
// Thread safety: FindLocale may be called from any thread; the LocaleData it returns is
// immutable and lives until the process ends.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "win/systime.h"
#include "win/types.h"

namespace kvwin {

inline constexpr LCID kLcidEnglishUS = 1033;

struct LocaleData {
    LCID lcid = 0;
    std::string name;  // "de-DE"

    // Numbers.
    std::u16string decimal;  // "."
    std::u16string group;    // ","
    int group_size = 3;      // digits per group (0: no grouping)
    int digits = 2;          // decimals FormatNumber shows by default
    bool leading_zero = true;

    // Currency.
    std::u16string currency;  // "$"
    std::u16string mon_decimal;
    std::u16string mon_group;
    int currency_digits = 2;
    bool currency_first = true;      // "$1.00" rather than "1.00 $"
    bool currency_space = false;     // a space between symbol and number
    bool negative_parens = false;    // negative amounts as "($1.00)"
    bool sign_after_symbol = false;  // "$-1.00" rather than "-$1.00" (symbol first only)

    // Dates. Index 0 of the day arrays is Sunday.
    std::array<std::u16string, 12> months;          // as a name on its own ("July")
    std::array<std::u16string, 12> months_in_date;  // inside a date (some languages decline)
    std::array<std::u16string, 12> abbrev_months;
    std::array<std::u16string, 7> days;
    std::array<std::u16string, 7> abbrev_days;
    std::u16string am = u"AM";
    std::u16string pm = u"PM";
    std::u16string short_date;  // "M/d/yyyy"
    std::u16string long_date;   // "dddd, MMMM d, yyyy"
    std::u16string time;        // "h:mm:ss tt"
    std::u16string short_time;  // "HH:mm"
    int first_weekday = 1;      // 1 = Sunday ... 7 = Saturday
    int first_week_days = 1;    // days of the new year week 1 needs: 1, 4 or 7
    enum class Order { MonthDayYear, DayMonthYear, YearMonthDay } order = Order::MonthDayYear;
};

// The settings of an LCID (LOCALE_USER_DEFAULT and LOCALE_SYSTEM_DEFAULT: the user's), or null
// when the LCID is unknown or its locale is not installed here.
KVWIN_API const LocaleData* FindLocale(LCID lcid);

// "de-DE" for 1031; empty when the LCID is not in the table.
KVWIN_API std::string_view LocaleNameOf(LCID lcid);
// 1031 for "de-DE", "de_DE", "de_DE.UTF-8" or "de-de"; 0 when unknown.
KVWIN_API LCID LcidOfName(std::string_view name);

// The user's LCID: from LC_ALL, LC_TIME or LANG (in that order) when it names a known
// locale, else en-US.
KVWIN_API LCID UserDefaultLcid();

// A SYSTEMTIME written with a Windows date/time pattern: d dd ddd dddd, M MM MMM MMMM, y yy
// yyyy, h hh H HH, m mm, s ss, t tt, 'quoted text'; other characters are copied.
KVWIN_API std::u16string FormatDateTimePattern(const LocaleData& locale, const SYSTEMTIME& st,
                                               std::u16string_view pattern);

// How FormatNumber-style texts are laid out. Each field: a value, or -1 (digits) / -2 (the
// three switches) for the locale's setting.
struct NumberStyle {
    int digits = -1;   // decimals, 0..99
    int leading = -2;  // a 0 before the point of a value below 1
    int parens = -2;   // negative values in parentheses rather than with a sign
    int group = -2;    // digits grouped
};
enum class NumberForm { Number, Currency, Percent };

// A number in the locale's form: rounded half away from zero to the decimals (after the value
// is taken to 15 significant digits, as Automation reads a double), grouped, with the
// currency symbol or percent sign where the form asks. Infinite and NaN values give "".
KVWIN_API std::u16string FormatNumberIn(const LocaleData& locale, double value,
                                        const NumberStyle& style, NumberForm form);
// The same for an exact scaled integer: value = mantissa / 10^scale (Currency: scale 4).
KVWIN_API std::u16string FormatScaledIn(const LocaleData& locale, int64_t mantissa, int scale,
                                        const NumberStyle& style, NumberForm form);

}  // namespace kvwin
