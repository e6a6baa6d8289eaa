// Calendar arithmetic (proleptic Gregorian) and the en-US date text.
#include "variant_date.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace kvwin::oleaut {

namespace {

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t yy = int64_t(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = int(yy + (m <= 2));
}

const int64_t kEpoch = DaysFromCivil(1899, 12, 30);

unsigned DaysInMonth(int y, unsigned m) {
    static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : kDays[m - 1];
}

void Append(std::u16string& out, unsigned v, int min_digits) {
    std::u16string digits;
    do {
        digits.insert(digits.begin(), char16_t(u'0' + v % 10));
        v /= 10;
    } while (v);
    while (int(digits.size()) < min_digits)
        digits.insert(digits.begin(), u'0');
    out += digits;
}

// A small tokenizer over date text: numbers, separators and words.
struct Token {
    enum Kind { Number, Sep, Word } kind = Number;
    unsigned value = 0;
    int digits = 0;
    char16_t sep = 0;
    std::u16string word;
};

bool Tokenize(std::u16string_view s, std::vector<Token>& out) {
    for (size_t i = 0; i < s.size();) {
        char16_t c = s[i];
        if (c == u' ' || c == u'\t') {
            ++i;
        } else if (c >= u'0' && c <= u'9') {
            Token t;
            t.kind = Token::Number;
            while (i < s.size() && s[i] >= u'0' && s[i] <= u'9') {
                if (t.digits > 6)
                    return false;
                t.value = t.value * 10 + unsigned(s[i] - u'0');
                ++t.digits;
                ++i;
            }
            out.push_back(t);
        } else if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) {
            Token t;
            t.kind = Token::Word;
            while (i < s.size() &&
                   ((s[i] >= u'a' && s[i] <= u'z') || (s[i] >= u'A' && s[i] <= u'Z')))
                t.word.push_back(char16_t(s[i++] | 0x20));
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

bool IsSep(const std::vector<Token>& t, size_t i, char16_t c) {
    return i < t.size() && t[i].kind == Token::Sep && t[i].sep == c;
}
bool IsNum(const std::vector<Token>& t, size_t i) {
    return i < t.size() && t[i].kind == Token::Number;
}

}  // namespace

bool DateText(double date, std::u16string& out) {
    if (!(date >= kMinDate && date < kMaxDate))
        return false;
    double whole = std::trunc(date);
    double frac = std::fabs(date - whole);
    int64_t days = int64_t(whole);
    int64_t seconds = int64_t(std::llround(frac * 86400.0));
    if (seconds >= 86400) {  // rounds up into the next day (away from the epoch)
        seconds -= 86400;
        days += date < 0 ? -1 : 1;
    }
    out.clear();
    bool show_date = days != 0;
    bool show_time = seconds != 0 || !show_date;
    if (show_date) {
        int y;
        unsigned m, d;
        CivilFromDays(kEpoch + days, y, m, d);
        Append(out, m, 1);
        out += u'/';
        Append(out, d, 1);
        out += u'/';
        Append(out, unsigned(y), 4);
    }
    if (show_time) {
        if (show_date)
            out += u' ';
        unsigned h = unsigned(seconds / 3600), mi = unsigned(seconds / 60 % 60),
                 se = unsigned(seconds % 60);
        unsigned h12 = h % 12 == 0 ? 12 : h % 12;
        Append(out, h12, 1);
        out += u':';
        Append(out, mi, 2);
        out += u':';
        Append(out, se, 2);
        out += h < 12 ? u" AM" : u" PM";
    }
    return true;
}

bool ParseDateText(std::u16string_view text, double& result) {
    std::vector<Token> t;
    if (!Tokenize(text, t) || t.empty())
        return false;
    size_t i = 0;
    bool have_date = false;
    int64_t days = 0;
    // A date: M/D/Y, M/D, Y-M-D, M-D-Y.
    if (IsNum(t, 0) && (IsSep(t, 1, u'/') || IsSep(t, 1, u'-')) && IsNum(t, 2)) {
        char16_t sep = t[1].sep;
        unsigned a = t[0].value, b = t[2].value;
        int year;
        unsigned month, day;
        bool have_third = IsSep(t, 3, sep) && IsNum(t, 4);
        if (t[0].digits == 4 && have_third) {
            year = int(a);
            month = b;
            day = t[4].value;
        } else {
            month = a;
            day = b;
            if (!have_third)
                return false;
            unsigned y = t[4].value;
            year = t[4].digits <= 2 ? int(y < 30 ? 2000 + y : 1900 + y) : int(y);
        }
        i = have_third ? 5 : 3;
        if (month < 1 || month > 12 || year < 100 || year > 9999)
            return false;
        if (day < 1 || day > DaysInMonth(year, month))
            return false;
        days = DaysFromCivil(year, month, day) - kEpoch;
        have_date = true;
        if (i < t.size() && t[i].kind == Token::Word && t[i].word == u"t")
            ++i;
    }
    // A time: h:mm[:ss] [am|pm].
    double fraction = 0;
    if (i < t.size()) {
        if (!(IsNum(t, i) && IsSep(t, i + 1, u':') && IsNum(t, i + 2)))
            return false;
        unsigned h = t[i].value, mi = t[i + 2].value, se = 0;
        i += 3;
        if (IsSep(t, i, u':') && IsNum(t, i + 1)) {
            se = t[i + 1].value;
            i += 2;
        }
        if (i < t.size() && t[i].kind == Token::Word) {
            const std::u16string& w = t[i].word;
            if (w != u"am" && w != u"pm" && w != u"a" && w != u"p")
                return false;
            if (h < 1 || h > 12)
                return false;
            bool pm = w[0] == u'p';
            h = h % 12 + (pm ? 12 : 0);
            ++i;
        }
        if (i != t.size() || h > 23 || mi > 59 || se > 59)
            return false;
        fraction = double(h * 3600 + mi * 60 + se) / 86400.0;
    } else if (!have_date) {
        return false;
    }
    // Before the epoch the fraction still counts forward within the day, so it is
    // subtracted from the (negative) day number.
    result = days >= 0 ? double(days) + fraction : double(days) - fraction;
    return true;
}

}  // namespace kvwin::oleaut
