// Regional settings read from the C library's locale database.
#include "kvwin/locale_data.h"

#include <langinfo.h>
#include <locale.h>

#include <cctype>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>

#include "kvwin/utf.h"
#include "win/oleauto.h"
#include "win/text.h"

namespace kvwin {
namespace {

// Windows' LCIDs and, where Windows' default patterns differ from what the locale's own
// formats translate to, those defaults (short date, long date, time, short time).
struct LcidEntry {
    LCID lcid;
    const char* name;
    const char16_t* short_date;
    const char16_t* long_date;
    const char16_t* time;
    const char16_t* short_time;
};

const LcidEntry kLcids[] = {
    {1033, "en-US", u"M/d/yyyy", u"dddd, MMMM d, yyyy", u"h:mm:ss tt", u"h:mm tt"},
    {2057, "en-GB", u"dd/MM/yyyy", u"dd MMMM yyyy", u"HH:mm:ss", u"HH:mm"},
    {1031, "de-DE", u"dd.MM.yyyy", u"dddd, d. MMMM yyyy", u"HH:mm:ss", u"HH:mm"},
    {1036, "fr-FR", u"dd/MM/yyyy", u"dddd d MMMM yyyy", u"HH:mm:ss", u"HH:mm"},
    {1041, "ja-JP", u"yyyy/MM/dd", u"yyyy'\u5E74'M'\u6708'd'\u65E5'", u"H:mm:ss", u"H:mm"},
    {1049, "ru-RU", u"dd.MM.yyyy", u"d MMMM yyyy '\u0433.'", u"H:mm:ss", u"H:mm"},
    {1046, "pt-BR", u"dd/MM/yyyy", u"dddd, d' de 'MMMM' de 'yyyy", u"HH:mm:ss", u"HH:mm"},
    {3082, "es-ES", nullptr, nullptr, nullptr, nullptr},
    {1040, "it-IT", nullptr, nullptr, nullptr, nullptr},
    {1043, "nl-NL", nullptr, nullptr, nullptr, nullptr},
    {1045, "pl-PL", nullptr, nullptr, nullptr, nullptr},
    {1053, "sv-SE", nullptr, nullptr, nullptr, nullptr},
    {1030, "da-DK", nullptr, nullptr, nullptr, nullptr},
    {1035, "fi-FI", nullptr, nullptr, nullptr, nullptr},
    {1044, "nb-NO", nullptr, nullptr, nullptr, nullptr},
    {1029, "cs-CZ", nullptr, nullptr, nullptr, nullptr},
    {1038, "hu-HU", nullptr, nullptr, nullptr, nullptr},
    {1055, "tr-TR", nullptr, nullptr, nullptr, nullptr},
    {2070, "pt-PT", nullptr, nullptr, nullptr, nullptr},
    {3079, "de-AT", nullptr, nullptr, nullptr, nullptr},
    {2055, "de-CH", nullptr, nullptr, nullptr, nullptr},
    {3084, "fr-CA", nullptr, nullptr, nullptr, nullptr},
    {2060, "fr-BE", nullptr, nullptr, nullptr, nullptr},
    {4105, "en-CA", nullptr, nullptr, nullptr, nullptr},
    {3081, "en-AU", nullptr, nullptr, nullptr, nullptr},
    {2052, "zh-CN", nullptr, nullptr, nullptr, nullptr},
    {1028, "zh-TW", nullptr, nullptr, nullptr, nullptr},
    {1042, "ko-KR", nullptr, nullptr, nullptr, nullptr},
};

const LcidEntry* EntryOf(LCID lcid) {
    for (const auto& e : kLcids)
        if (e.lcid == lcid)
            return &e;
    return nullptr;
}

struct LocaleHolder {
    locale_t loc;
    explicit LocaleHolder(locale_t l) : loc(l) {}
    ~LocaleHolder() {
        if (loc)
            freelocale(loc);
    }
    LocaleHolder(const LocaleHolder&) = delete;
    LocaleHolder& operator=(const LocaleHolder&) = delete;
};

std::u16string Item(locale_t loc, nl_item item) {
    const char* s = nl_langinfo_l(item, loc);
    return s ? FromUtf8(s) : std::u16string();
}

int Number(locale_t loc, nl_item item) {
    const char* s = nl_langinfo_l(item, loc);
    return s ? static_cast<signed char>(*s) : -1;
}

void AppendQuoted(std::u16string& out, std::u16string_view text) {
    if (text.empty())
        return;
    bool plain = true;
    for (char16_t c : text)
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'\'' || c > 0x7F)
            plain = false;
    if (plain) {
        out += text;
        return;
    }
    out += u'\'';
    for (char16_t c : text)
        if (c != u'\'')
            out += c;
    out += u'\'';
}

// A C library strftime format as a Windows pattern ("%d.%m.%Y" -> "dd.MM.yyyy"); two-digit
// years become four, as Windows shows them by default.
std::u16string PatternFromFormat(std::u16string_view f, locale_t loc, int depth = 0) {
    std::u16string out, literal;
    for (size_t i = 0; i < f.size(); ++i) {
        if (f[i] != u'%' || i + 1 >= f.size()) {
            literal += f[i];
            continue;
        }
        char16_t c = f[++i];
        bool no_pad = false;
        if ((c == u'-' || c == u'_' || c == u'0' || c == u'E' || c == u'O') && i + 1 < f.size()) {
            no_pad = c == u'-';
            c = f[++i];
        }
        if (c == u'%' || c == u'n' || c == u't') {
            literal += c == u'%' ? u'%' : u' ';
            continue;
        }
        AppendQuoted(out, literal);
        literal.clear();
        switch (c) {
            case u'd':
                out += no_pad ? u"d" : u"dd";
                break;
            case u'e':
                out += u"d";
                break;
            case u'm':
                out += no_pad ? u"M" : u"MM";
                break;
            case u'y':
            case u'Y':
            case u'C':
                out += u"yyyy";
                break;
            case u'b':
            case u'h':
                out += u"MMM";
                break;
            case u'B':
                out += u"MMMM";
                break;
            case u'a':
                out += u"ddd";
                break;
            case u'A':
                out += u"dddd";
                break;
            case u'H':
                out += no_pad ? u"H" : u"HH";
                break;
            case u'k':
                out += u"H";
                break;
            case u'I':
                out += no_pad ? u"h" : u"hh";
                break;
            case u'l':
                out += u"h";
                break;
            case u'M':
                out += u"mm";
                break;
            case u'S':
                out += u"ss";
                break;
            case u'p':
            case u'P':
                out += u"tt";
                break;
            case u'T':
                out += u"HH:mm:ss";
                break;
            case u'R':
                out += u"HH:mm";
                break;
            case u'D':
                out += u"MM/dd/yyyy";
                break;
            case u'F':
                out += u"yyyy-MM-dd";
                break;
            case u'r':
                if (depth == 0)
                    out += PatternFromFormat(Item(loc, T_FMT_AMPM), loc, 1);
                break;
            default:
                break;  // zones, week numbers: not part of a Windows pattern
        }
    }
    AppendQuoted(out, literal);
    // Trim separators left at the ends by dropped fields.
    while (!out.empty() && (out.back() == u' ' || out.back() == u','))
        out.pop_back();
    return out;
}

LocaleData::Order OrderOf(std::u16string_view pattern) {
    size_t y = pattern.find(u'y'), m = pattern.find(u'M'), d = pattern.find(u'd');
    if (y < m && y < d)
        return LocaleData::Order::YearMonthDay;
    if (d < m)
        return LocaleData::Order::DayMonthYear;
    return LocaleData::Order::MonthDayYear;
}

// Windows' own en-US settings, for when the en_US locale is not installed.
void FillEnglishUS(LocaleData& d) {
    static const char16_t* kMonths[] = {u"January",   u"February", u"March",    u"April",
                                        u"May",       u"June",     u"July",     u"August",
                                        u"September", u"October",  u"November", u"December"};
    static const char16_t* kDays[] = {u"Sunday",   u"Monday", u"Tuesday", u"Wednesday",
                                      u"Thursday", u"Friday", u"Saturday"};
    for (int i = 0; i < 12; ++i) {
        d.months[i] = d.months_in_date[i] = kMonths[i];
        d.abbrev_months[i] = std::u16string(kMonths[i]).substr(0, 3);
    }
    for (int i = 0; i < 7; ++i) {
        d.days[i] = kDays[i];
        d.abbrev_days[i] = std::u16string(kDays[i]).substr(0, 3);
    }
    d.decimal = d.mon_decimal = u".";
    d.group = d.mon_group = u",";
    d.currency = u"$";
}

std::unique_ptr<LocaleData> Load(LCID lcid) {
    const LcidEntry* e = EntryOf(lcid);
    if (!e)
        return nullptr;
    std::string posix = e->name;
    posix[2] = '_';
    LocaleHolder holder(newlocale(LC_ALL_MASK, (posix + ".UTF-8").c_str(), locale_t(0)));
    if (!holder.loc && lcid != kLcidEnglishUS)
        return nullptr;

    auto d = std::make_unique<LocaleData>();
    d->lcid = lcid;
    d->name = e->name;
    locale_t loc = holder.loc;
    if (!loc) {
        FillEnglishUS(*d);
    } else {
        d->decimal = Item(loc, RADIXCHAR);
        d->group = Item(loc, THOUSEP);
        int g = Number(loc, GROUPING);
        d->group_size = g > 0 && g < 127 ? g : 0;
        if (d->group.empty())
            d->group_size = 0;
        d->currency = Item(loc, CURRENCY_SYMBOL);
        d->mon_decimal = Item(loc, MON_DECIMAL_POINT);
        d->mon_group = Item(loc, MON_THOUSANDS_SEP);
        int frac = Number(loc, FRAC_DIGITS);
        d->currency_digits = frac >= 0 && frac <= 9 ? frac : 2;
        d->currency_first = Number(loc, N_CS_PRECEDES) == 1;
        d->currency_space = Number(loc, N_SEP_BY_SPACE) == 1 || Number(loc, N_SEP_BY_SPACE) == 2;
        int posn = Number(loc, N_SIGN_POSN);
        d->negative_parens = posn == 0;
        d->sign_after_symbol = d->currency_first && (posn == 2 || posn == 4);
        for (int i = 0; i < 12; ++i) {
            d->months_in_date[size_t(i)] = Item(loc, nl_item(MON_1 + i));
            d->months[size_t(i)] = Item(loc, nl_item(ALTMON_1 + i));
            if (d->months[size_t(i)].empty())
                d->months[size_t(i)] = d->months_in_date[size_t(i)];
            d->abbrev_months[size_t(i)] = Item(loc, nl_item(ABMON_1 + i));
        }
        for (int i = 0; i < 7; ++i) {
            d->days[size_t(i)] = Item(loc, nl_item(DAY_1 + i));
            d->abbrev_days[size_t(i)] = Item(loc, nl_item(ABDAY_1 + i));
        }
        std::u16string am = Item(loc, AM_STR), pm = Item(loc, PM_STR);
        if (!am.empty() && !pm.empty()) {
            d->am = am;
            d->pm = pm;
        }
        int first = Number(loc, _NL_TIME_FIRST_WEEKDAY);
        d->first_weekday = first >= 1 && first <= 7 ? first : 1;
        int min_days = Number(loc, _NL_TIME_WEEK_1STWEEK);
        d->first_week_days = min_days >= 4 ? (min_days >= 7 ? 7 : 4) : 1;
        d->short_date = PatternFromFormat(Item(loc, D_FMT), loc);
        d->time = PatternFromFormat(Item(loc, T_FMT), loc);
    }
    if (e->short_date) {
        d->short_date = e->short_date;
        d->long_date = e->long_date;
        d->time = e->time;
        d->short_time = e->short_time;
    }
    d->order = OrderOf(d->short_date);
    if (!e->short_date) {
        d->short_time = d->time.find(u"tt") != std::u16string::npos ? u"h:mm tt" : u"HH:mm";
        d->long_date = d->order == LocaleData::Order::MonthDayYear   ? u"dddd, MMMM d, yyyy"
                       : d->order == LocaleData::Order::YearMonthDay ? u"yyyy MMMM d"
                                                                     : u"dddd, d MMMM yyyy";
    }
    return d;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

void AppendNumber(std::u16string& out, unsigned v, int width) {
    char16_t buf[12];
    int n = 0;
    do {
        buf[n++] = char16_t(u'0' + v % 10);
        v /= 10;
    } while (v && n < 11);
    for (int i = n; i < width; ++i)
        out += u'0';
    while (n)
        out += buf[--n];
}

}  // namespace

const LocaleData* FindLocale(LCID lcid) {
    if (lcid == LOCALE_USER_DEFAULT || lcid == LOCALE_SYSTEM_DEFAULT || lcid == 0)
        lcid = UserDefaultLcid();
    static std::mutex lock;
    static std::map<LCID, std::unique_ptr<LocaleData>>* cache =
        new std::map<LCID, std::unique_ptr<LocaleData>>();  // lives to the process's end
    std::lock_guard<std::mutex> guard(lock);
    auto it = cache->find(lcid);
    if (it == cache->end())
        it = cache->emplace(lcid, Load(lcid)).first;
    return it->second.get();
}

std::string_view LocaleNameOf(LCID lcid) {
    const LcidEntry* e = EntryOf(lcid);
    return e ? std::string_view(e->name) : std::string_view();
}

LCID LcidOfName(std::string_view name) {
    std::string n = Lower(name.substr(0, name.find_first_of(".@")));
    for (char& c : n)
        if (c == '_')
            c = '-';
    for (const auto& e : kLcids)
        if (Lower(e.name) == n)
            return e.lcid;
    return 0;
}

LCID UserDefaultLcid() {
    for (const char* var : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v) {
            LCID l = LcidOfName(v);
            if (l)
                return l;
        }
    }
    return kLcidEnglishUS;
}

std::u16string FormatDateTimePattern(const LocaleData& loc, const SYSTEMTIME& st,
                                     std::u16string_view p) {
    std::u16string out;
    unsigned wd = st.wDayOfWeek % 7, mo = (st.wMonth >= 1 && st.wMonth <= 12) ? st.wMonth : 1;
    for (size_t i = 0; i < p.size();) {
        char16_t c = p[i];
        if (c == u'\'') {
            size_t end = p.find(u'\'', i + 1);
            if (end == std::u16string_view::npos)
                end = p.size();
            out += p.substr(i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        size_t n = 1;
        while (i + n < p.size() && p[i + n] == c)
            ++n;
        switch (c) {
            case u'd':
                if (n == 1 || n == 2)
                    AppendNumber(out, st.wDay, int(n));
                else
                    out += n == 3 ? loc.abbrev_days[wd] : loc.days[wd];
                break;
            case u'M':
                if (n == 1 || n == 2)
                    AppendNumber(out, st.wMonth, int(n));
                else if (n == 3)
                    out += loc.abbrev_months[mo - 1];
                else
                    out += p.find(u'd') != std::u16string_view::npos ? loc.months_in_date[mo - 1]
                                                                     : loc.months[mo - 1];
                break;
            case u'y':
                if (n <= 2)
                    AppendNumber(out, st.wYear % 100, int(n));
                else
                    AppendNumber(out, st.wYear, n == 3 ? 1 : int(n));
                break;
            case u'h':
                AppendNumber(out, st.wHour % 12 == 0 ? 12 : st.wHour % 12, n >= 2 ? 2 : 1);
                break;
            case u'H':
                AppendNumber(out, st.wHour, n >= 2 ? 2 : 1);
                break;
            case u'm':
                AppendNumber(out, st.wMinute, n >= 2 ? 2 : 1);
                break;
            case u's':
                AppendNumber(out, st.wSecond, n >= 2 ? 2 : 1);
                break;
            case u't': {
                const std::u16string& s = st.wHour < 12 ? loc.am : loc.pm;
                out += n == 1 ? s.substr(0, 1) : s;
                break;
            }
            default:
                out.append(n, c);
                break;
        }
        i += n;
    }
    return out;
}

}  // namespace kvwin

extern "C" {

LCID GetUserDefaultLCID(void) {
    return kvwin::UserDefaultLcid();
}

LCID GetSystemDefaultLCID(void) {
    return kvwin::UserDefaultLcid();
}

}  // extern "C"
