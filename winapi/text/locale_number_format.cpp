// Numbers, currency amounts and percentages written in a locale's form.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "kvwin/locale_data.h"

namespace kvwin {
namespace {

// A non-negative decimal: the digits with the point after the first `int_len` of them
// (int_len may be <= 0 or past the end: zeros fill).
struct Decimal {
    bool negative = false;
    std::string digits;
    int int_len = 0;
};

void RoundTo(Decimal& d, int decimals) {
    int keep = d.int_len + decimals;
    if (keep < 0) {
        d.digits.clear();
        return;
    }
    if (size_t(keep) >= d.digits.size())
        return;
    bool up = d.digits[size_t(keep)] >= '5';
    d.digits.resize(size_t(keep));
    if (!up)
        return;
    int i = keep - 1;
    for (; i >= 0; --i) {
        if (d.digits[size_t(i)] == '9') {
            d.digits[size_t(i)] = '0';
        } else {
            ++d.digits[size_t(i)];
            break;
        }
    }
    if (i < 0) {  // 9.99 -> 10.0: one more integer digit
        d.digits.insert(d.digits.begin(), '1');
        ++d.int_len;
    }
}

std::u16string Layout(const LocaleData& loc, Decimal d, const NumberStyle& style, NumberForm form) {
    bool currency = form == NumberForm::Currency;
    int decimals = style.digits >= 0 ? style.digits : currency ? loc.currency_digits : loc.digits;
    bool leading = style.leading == -2 ? loc.leading_zero : style.leading != 0;
    bool parens = style.parens == -2 ? (currency && loc.negative_parens) : style.parens != 0;
    bool group = style.group == -2 ? loc.group_size > 0 : style.group != 0;
    const std::u16string& point = currency ? loc.mon_decimal : loc.decimal;
    const std::u16string& sep = currency ? loc.mon_group : loc.group;
    int group_size = loc.group_size > 0 ? loc.group_size : 3;

    if (form == NumberForm::Percent)
        d.int_len += 2;
    RoundTo(d, decimals);
    bool zero = d.digits.find_first_not_of('0') == std::string::npos;
    bool negative = d.negative && !zero;

    auto digit_at = [&](int pos) -> char16_t {  // pos: index into the digit string
        return pos >= 0 && size_t(pos) < d.digits.size() ? char16_t(d.digits[size_t(pos)]) : u'0';
    };
    std::u16string num;
    num.reserve(32);
    if (negative && !parens && !currency)
        num += u'-';
    int int_len = d.int_len;
    // Leading zeros of the integer part do not count.
    int first = 0;
    while (first < int_len && digit_at(first) == u'0')
        ++first;
    int shown = int_len - first;
    if (shown <= 0) {
        if (leading || decimals == 0)
            num += u'0';
    } else {
        for (int i = 0; i < shown; ++i) {
            if (group && i > 0 && (shown - i) % group_size == 0)
                num += sep;
            num += digit_at(first + i);
        }
    }
    if (decimals > 0) {
        num += point;
        for (int i = 0; i < decimals; ++i)
            num += digit_at(int_len + i);
    }
    if (form == NumberForm::Percent)
        num += u'%';

    std::u16string out;
    if (currency) {
        std::u16string space = loc.currency_space ? u" " : u"";
        if (loc.currency_first) {
            if (negative && !parens)
                out = loc.sign_after_symbol ? loc.currency + space + u"-" + num
                                            : u"-" + loc.currency + space + num;
            else
                out = loc.currency + space + num;
        } else {
            out = (negative && !parens ? u"-" : u"") + num + space + loc.currency;
        }
    } else {
        out = std::move(num);
    }
    if (negative && parens)
        out = u"(" + out + u")";
    return out;
}

}  // namespace

std::u16string FormatNumberIn(const LocaleData& loc, double value, const NumberStyle& style,
                              NumberForm form) {
    if (!std::isfinite(value))
        return u"";
    Decimal d;
    d.negative = std::signbit(value);
    if (value != 0) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));  // 15 significant digits
        d.digits.reserve(15);
        const char* p = buf;
        for (; *p && *p != 'e'; ++p)
            if (*p != '.')
                d.digits += *p;
        d.int_len = *p ? std::atoi(p + 1) + 1 : 1;
    } else {
        d.digits = "0";
        d.int_len = 1;
    }
    return Layout(loc, std::move(d), style, form);
}

std::u16string FormatScaledIn(const LocaleData& loc, int64_t mantissa, int scale,
                              const NumberStyle& style, NumberForm form) {
    Decimal d;
    d.negative = mantissa < 0;
    uint64_t m = d.negative ? uint64_t(0) - uint64_t(mantissa) : uint64_t(mantissa);
    d.digits = std::to_string(m);
    d.int_len = int(d.digits.size()) - scale;
    return Layout(loc, std::move(d), style, form);
}

}  // namespace kvwin
