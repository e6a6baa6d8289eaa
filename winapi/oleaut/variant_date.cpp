// DATE values: calendar conversion (proleptic Gregorian), the en-US text, and date text in a
// locale's forms.
#include "variant_date.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "kvwin/civil_time.h"

namespace kvwin::oleaut {

namespace {

constexpr int64_t kEpoch = DaysFromCivil(1899, 12, 30);

// Whole days and seconds of the day of a DATE, rounded to the second.
bool SplitDate(double date, int64_t& days, int64_t& seconds) {
    if (!(date >= kMinDate && date < kMaxDate))
        return false;
    double whole = std::trunc(date);
    days = int64_t(whole);
    seconds = int64_t(std::llround(std::fabs(date - whole) * 86400.0));
    if (seconds >= 86400) {  // rounds up into the next day (away from the epoch)
        seconds -= 86400;
        days += date < 0 ? -1 : 1;
    }
    return true;
}

struct Token {
    enum Kind { Number, Sep, Word } kind = Number;
    unsigned value = 0;
    int digits = 0;
    char16_t sep = 0;
    std::u16string word;
};

bool IsLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c > 0x7F && c != 0xA0);
}

std::u16string Fold(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out) {
        if (c >= u'A' && c <= u'Z')
            c = char16_t(c + 32);
        else if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x410 && c <= 0x42F))
            c = char16_t(c + 32);  // Latin-1 and Cyrillic capitals
        else if (c >= 0x400 && c <= 0x40F)
            c = char16_t(c + 80);
    }
    return out;
}

bool Tokenize(std::u16string_view s, std::vector<Token>& out) {
    for (size_t i = 0; i < s.size();) {
        char16_t c = s[i];
        if (out.size() > 32)
            return false;
        if (c == u' ' || c == u'\t' || c == 0xA0 || c == u',') {
            ++i;
        } else if (c >= u'0' && c <= u'9') {
            Token t;
            while (i < s.size() && s[i] >= u'0' && s[i] <= u'9') {
                if (t.digits > 6)
                    return false;
                t.value = t.value * 10 + unsigned(s[i] - u'0');
                ++t.digits;
                ++i;
            }
            out.push_back(t);
        } else if (IsLetter(c)) {
            Token t;
            t.kind = Token::Word;
            size_t b = i;
            while (i < s.size() && (IsLetter(s[i]) || s[i] == u'.'))
                ++i;
            t.word = Fold(s.substr(b, i - b));
            while (!t.word.empty() && t.word.back() == u'.')
                t.word.pop_back();
            out.push_back(t);
        } else if (c == u'/' || c == u'-' || c == u':' || c == u'.') {
            Token t;
            t.kind = Token::Sep;
            t.sep = c;
            out.push_back(t);
            ++i;
        } else {
            return false;
        }
    }
    return true;
}

const char16_t* const kEnglishMonths[] = {u"january",   u"february", u"march",    u"april",
                                          u"may",       u"june",     u"july",     u"august",
                                          u"september", u"october",  u"november", u"december"};
const char16_t* const kEnglishDays[] = {u"sunday",   u"monday", u"tuesday", u"wednesday",
                                        u"thursday", u"friday", u"saturday"};

bool Prefix(std::u16string_view word, std::u16string_view name) {
    return word.size() >= 3 && word.size() <= name.size() && name.substr(0, word.size()) == word;
}

// 1..12 for a month name or its abbreviation, 0 otherwise.
unsigned MonthOf(const std::u16string& w, const LocaleData* loc) {
    for (unsigned m = 0; m < 12; ++m) {
        if (Prefix(w, kEnglishMonths[m]))
            return m + 1;
        if (loc && (w == Fold(loc->months[m]) || w == Fold(loc->months_in_date[m]) ||
                    Fold(loc->abbrev_months[m]).find(w) == 0))
            if (!w.empty())
                return m + 1;
    }
    return 0;
}

bool IsDayName(const std::u16string& w, const LocaleData* loc) {
    for (unsigned d = 0; d < 7; ++d) {
        if (Prefix(w, kEnglishDays[d]))
            return true;
        if (loc && (w == Fold(loc->days[d]) || w == Fold(loc->abbrev_days[d])))
            return true;
    }
    return false;
}

int FullYear(const Token& t) {
    return t.digits <= 2 ? int(t.value < 30 ? 2000 + t.value : 1900 + t.value) : int(t.value);
}

bool ValidDate(int y, unsigned m, unsigned d) {
    return y >= 100 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 &&
           d <= unsigned(DaysInMonth(y, int(m)));
}

int CurrentYear() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return st.wYear;
}

// The date out of its numbers and month word; false when they make no date.
bool ResolveDate(const std::vector<Token>& nums, unsigned word_month, bool month_first,
                 LocaleData::Order order, int& y, unsigned& m, unsigned& d) {
    if (word_month) {
        m = word_month;
        if (nums.size() == 1) {
            d = nums[0].value;
            y = CurrentYear();
            if (nums[0].digits >= 3 || d > 31) {  // "July 2023"
                y = FullYear(nums[0]);
                d = 1;
            }
        } else if (nums.size() == 2) {
            bool year_first = nums[0].digits >= 3 || (nums[0].value > 31 && !month_first);
            y = FullYear(nums[year_first ? 0 : 1]);
            d = nums[year_first ? 1 : 0].value;
        } else {
            return false;
        }
        return ValidDate(y, m, d);
    }
    if (nums.size() == 3) {
        if (nums[0].digits >= 3 || order == LocaleData::Order::YearMonthDay) {
            y = FullYear(nums[0]);
            m = nums[1].value;
            d = nums[2].value;
            if (!ValidDate(y, m, d) && nums[0].digits < 3)
                return ResolveDate(nums, 0, false, LocaleData::Order::MonthDayYear, y, m, d);
            return ValidDate(y, m, d);
        }
        y = FullYear(nums[2]);
        bool md = order == LocaleData::Order::MonthDayYear;
        m = nums[md ? 0 : 1].value;
        d = nums[md ? 1 : 0].value;
        if (!ValidDate(y, m, d))
            std::swap(m, d);
        return ValidDate(y, m, d);
    }
    if (nums.size() == 2) {
        if (nums[1].digits >= 3) {  // "7/2023"
            y = FullYear(nums[1]);
            m = nums[0].value;
            d = 1;
            return ValidDate(y, m, d);
        }
        y = CurrentYear();
        bool md = order != LocaleData::Order::DayMonthYear;
        m = nums[md ? 0 : 1].value;
        d = nums[md ? 1 : 0].value;
        if (!ValidDate(y, m, d))
            std::swap(m, d);
        return ValidDate(y, m, d);
    }
    return false;
}

}  // namespace

bool DateToSystemTime(double date, SYSTEMTIME& st) {
    int64_t days, seconds;
    if (!SplitDate(date, days, seconds))
        return false;
    CivilDate c = CivilFromDays(kEpoch + days);
    st.wYear = WORD(c.year);
    st.wMonth = WORD(c.month);
    st.wDay = WORD(c.day);
    st.wDayOfWeek = WORD(WeekdayFromDays(kEpoch + days));
    st.wHour = WORD(seconds / 3600);
    st.wMinute = WORD(seconds / 60 % 60);
    st.wSecond = WORD(seconds % 60);
    st.wMilliseconds = 0;
    return true;
}

bool SystemTimeToDate(const SYSTEMTIME& st, double& date) {
    if (!ValidDate(st.wYear, st.wMonth, st.wDay) || st.wHour > 23 || st.wMinute > 59 ||
        st.wSecond > 59 || st.wMilliseconds > 999)
        return false;
    int64_t days = DaysFromCivil(st.wYear, st.wMonth, st.wDay) - kEpoch;
    double fraction =
        (st.wHour * 3600.0 + st.wMinute * 60.0 + st.wSecond + st.wMilliseconds / 1000.0) / 86400.0;
    // Before the epoch the fraction still counts forward within the day.
    date = days >= 0 ? double(days) + fraction : double(days) - fraction;
    return true;
}

bool ParseDateText(std::u16string_view text, double& result, const LocaleData* loc) {
    std::vector<Token> t;
    if (text.size() > 256 || !Tokenize(text, t) || t.empty())
        return false;
    // The time: the first number followed by ':', up to the end or an AM/PM word.
    size_t time_at = t.size();
    for (size_t i = 0; i + 1 < t.size(); ++i)
        if (t[i].kind == Token::Number && t[i + 1].kind == Token::Sep && t[i + 1].sep == u':') {
            time_at = i;
            break;
        }
    std::vector<Token> nums;
    unsigned word_month = 0;
    bool month_first = false;
    char16_t sep = 0;
    bool have_date = false;
    for (size_t i = 0; i < time_at; ++i) {
        const Token& k = t[i];
        if (k.kind == Token::Number) {
            if (nums.size() == 3)
                return false;
            nums.push_back(k);
        } else if (k.kind == Token::Sep) {
            if (k.sep == u':' || (sep && k.sep != sep && k.sep != u'.'))
                return false;
            sep = k.sep;
        } else if (k.word == u"t" && i + 1 == time_at) {
            // ISO's date-time separator
        } else if (unsigned m = MonthOf(k.word, loc); m && !word_month) {
            word_month = m;
            month_first = nums.empty();
        } else if (!IsDayName(k.word, loc) && k.word != u"de" && k.word != u"\u0433") {
            return false;  // "de" (pt), "г." (ru) sit between a long date's parts
        }
    }
    int64_t days = 0;
    if (!nums.empty() || word_month) {
        int y;
        unsigned m, d;
        LocaleData::Order order = loc ? loc->order : LocaleData::Order::MonthDayYear;
        if (sep == u'-' && nums.size() == 3 && nums[0].digits == 4)
            order = LocaleData::Order::YearMonthDay;
        if (!ResolveDate(nums, word_month, month_first, order, y, m, d))
            return false;
        days = DaysFromCivil(y, m, d) - kEpoch;
        have_date = true;
    }
    double fraction = 0;
    if (time_at < t.size()) {
        size_t i = time_at;
        if (!(i + 2 < t.size() && t[i + 2].kind == Token::Number))
            return false;
        unsigned h = t[i].value, mi = t[i + 2].value, se = 0;
        i += 3;
        if (i + 1 < t.size() && t[i].kind == Token::Sep && t[i].sep == u':' &&
            t[i + 1].kind == Token::Number) {
            se = t[i + 1].value;
            i += 2;
        }
        if (i < t.size() && t[i].kind == Token::Word) {
            const std::u16string& w = t[i].word;
            bool am = w == u"am" || w == u"a" || (loc && w == Fold(loc->am));
            bool pm = w == u"pm" || w == u"p" || (loc && w == Fold(loc->pm));
            if (!am && !pm)
                return false;
            if (h < 1 || h > 12)
                return false;
            h = h % 12 + (pm ? 12 : 0);
            ++i;
        }
        if (i != t.size() || h > 23 || mi > 59 || se > 59)
            return false;
        fraction = double(h * 3600 + mi * 60 + se) / 86400.0;
    } else if (!have_date) {
        return false;
    }
    result = days >= 0 ? double(days) + fraction : double(days) - fraction;
    return true;
}

}  // namespace kvwin::oleaut

using kvwin::oleaut::DateToSystemTime;
using kvwin::oleaut::SystemTimeToDate;

extern "C" {

INT VariantTimeToSystemTime(DOUBLE vtime, LPSYSTEMTIME st) {
    if (!st)
        return FALSE;
    return DateToSystemTime(vtime, *st) ? TRUE : FALSE;
}

INT SystemTimeToVariantTime(LPSYSTEMTIME st, DOUBLE* out) {
    if (!st || !out)
        return FALSE;
    SYSTEMTIME copy = *st;
    copy.wMilliseconds = 0;  // Automation dates carry whole seconds here
    return SystemTimeToDate(copy, *out) ? TRUE : FALSE;
}

HRESULT VarDateFromStr(LPCOLESTR str, LCID lcid, ULONG, DATE* out) {
    if (!str || !out)
        return E_INVALIDARG;
    const kvwin::LocaleData* loc = kvwin::FindLocale(lcid);
    std::u16string_view text(str);
    double d;
    if (!kvwin::oleaut::ParseDateText(text, d, loc))
        return DISP_E_TYPEMISMATCH;
    *out = d;
    return S_OK;
}

HRESULT VarBstrFromDate(DATE date, LCID lcid, ULONG flags, BSTR* out) {
    if (!out)
        return E_INVALIDARG;
    *out = nullptr;
    SYSTEMTIME st;
    if (!DateToSystemTime(date, st))
        return DISP_E_OVERFLOW;
    const kvwin::LocaleData* loc = kvwin::FindLocale(lcid);
    if (!loc)
        loc = kvwin::FindLocale(kvwin::kLcidEnglishUS);
    bool midnight = st.wHour == 0 && st.wMinute == 0 && st.wSecond == 0;
    bool epoch_day = st.wYear == 1899 && st.wMonth == 12 && st.wDay == 30;
    bool show_date = !(flags & VAR_TIMEVALUEONLY) && (!epoch_day || (flags & VAR_DATEVALUEONLY));
    bool show_time = !(flags & VAR_DATEVALUEONLY) && (!midnight || !show_date);
    std::u16string text;
    if (show_date)
        text = kvwin::FormatDateTimePattern(*loc, st, loc->short_date);
    if (show_time) {
        if (show_date)
            text += u' ';
        text += kvwin::FormatDateTimePattern(*loc, st, loc->time);
    }
    *out = SysAllocStringLen(text.data(), UINT(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

}  // extern "C"
