// Number parsing, rounding and text for the variant conversions.
#include "variant_number.h"

#include "kvwin/hex_digit.h"
#include "kvwin/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kvwin::oleaut {

namespace {

constexpr Int128 kInt128Max = Int128(~(unsigned __int128)0 >> 1);

bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == 0xA0;
}

Int128 Pow10(int n) {
    Int128 v = 1;
    while (n-- > 0)
        v *= 10;
    return v;
}

bool ParseRadix(std::u16string_view s, int radix, ParsedNumber& out) {
    if (s.empty())
        return false;
    unsigned __int128 v = 0;
    for (char16_t c : s) {
        const int d = kvwin::HexDigitValue(c);
        if (d < 0 || d >= radix)
            return false;
        v = v * unsigned(radix) + unsigned(d);
        if (v > 0xFFFFFFFFFFFFFFFFull)
            return false;
    }
    // &H and &O literals are 16-bit or 32-bit two's complement values, as in Basic.
    Int128 value = Int128(v);
    if (v <= 0xFFFF && s.size() <= (radix == 16 ? 4u : 6u)) {
        if (v >= 0x8000)
            value = Int128(v) - 0x10000;
    } else if (v <= 0xFFFFFFFFu) {
        if (v >= 0x80000000u)
            value = Int128(v) - 0x100000000LL;
    }
    out.negative = value < 0;
    if (value < 0)
        value = -value;
    std::string digits;
    while (value > 0) {
        digits.insert(digits.begin(), char('0' + int(value % 10)));
        value /= 10;
    }
    out.digits = digits;
    out.exponent = 0;
    return true;
}

}  // namespace

bool ParseNumberText(std::u16string_view s, ParsedNumber& out, const LocaleData* locale) {
    out = ParsedNumber{};
    auto trim = [](std::u16string_view& t) {
        while (!t.empty() && IsSpace(t.front()))
            t.remove_prefix(1);
        while (!t.empty() && IsSpace(t.back()))
            t.remove_suffix(1);
    };
    trim(s);
    if (s.empty())
        return false;
    if (s.size() > 2 && s[0] == u'&') {
        if (s[1] == u'H' || s[1] == u'h')
            return ParseRadix(s.substr(2), 16, out);
        if (s[1] == u'O' || s[1] == u'o')
            return ParseRadix(s.substr(2), 8, out);
    }
    const std::u16string_view decimal = locale ? std::u16string_view(locale->decimal) : u".";
    const std::u16string_view group = locale ? std::u16string_view(locale->group) : u",";
    const std::u16string_view currency = locale ? std::u16string_view(locale->currency) : u"$";
    // Where the group separator is a space of some width, any of them serves: people type a
    // plain one where the locale writes a no-break one.
    auto is_space_group = [](char16_t c) { return c == u' ' || c == 0xA0 || c == 0x202F; };
    const bool space_groups = group.size() == 1 && is_space_group(group[0]);

    // What stands around the digits: parentheses, a sign and a currency symbol, each once,
    // on either side ("($1.00)", "-$1", "$-1", "1 €", "1-").
    bool parens = false, sign = false, negative = false, symbol = false;
    if (s.size() > 1 && s.front() == u'(' && s.back() == u')') {
        parens = negative = true;
        s = s.substr(1, s.size() - 2);
        trim(s);
    }
    for (bool again = true; again && !s.empty();) {
        again = false;
        if (!symbol && !currency.empty() && s.substr(0, currency.size()) == currency) {
            symbol = again = true;
            s.remove_prefix(currency.size());
        } else if (!sign && !parens && (s.front() == u'-' || s.front() == u'+')) {
            sign = again = true;
            negative = s.front() == u'-';
            s.remove_prefix(1);
        }
        trim(s);
    }
    for (bool again = true; again && !s.empty();) {
        again = false;
        if (!symbol && !currency.empty() && s.size() >= currency.size() &&
            s.substr(s.size() - currency.size()) == currency) {
            symbol = again = true;
            s.remove_suffix(currency.size());
        } else if (!sign && !parens && (s.back() == u'-' || s.back() == u'+')) {
            sign = again = true;
            negative = s.back() == u'-';
            s.remove_suffix(1);
        }
        trim(s);
    }
    std::string digits;
    int exponent = 0;
    size_t i = 0;
    bool any = false;
    while (i < s.size()) {
        char16_t c = s[i];
        if (c >= u'0' && c <= u'9') {
            any = true;
            if (!(digits.empty() && c == u'0'))
                digits.push_back(char(c));
            ++i;
            continue;
        }
        // A group separator counts between digits of the whole part.
        size_t skip = s.substr(i, group.size()) == group && !group.empty() ? group.size()
                      : space_groups && is_space_group(c)                  ? 1
                                                                           : 0;
        if (skip && any && i + skip < s.size() && s[i + skip] >= u'0' && s[i + skip] <= u'9') {
            i += skip;
            continue;
        }
        break;
    }
    if (!decimal.empty() && s.substr(i, decimal.size()) == decimal) {
        i += decimal.size();
        for (; i < s.size() && s[i] >= u'0' && s[i] <= u'9'; ++i) {
            any = true;
            if (!(digits.empty() && s[i] == u'0'))
                digits.push_back(char(s[i]));
            --exponent;
        }
    }
    if (!any)
        return false;
    if (i < s.size()) {
        if (s[i] != u'e' && s[i] != u'E' && s[i] != u'd' && s[i] != u'D')
            return false;
        ++i;
        bool exp_negative = false;
        if (i < s.size() && (s[i] == u'+' || s[i] == u'-'))
            exp_negative = s[i++] == u'-';
        if (i >= s.size())
            return false;
        long e = 0;
        for (; i < s.size(); ++i) {
            if (s[i] < u'0' || s[i] > u'9')
                return false;
            if (e < 100000)
                e = e * 10 + (s[i] - u'0');
        }
        exponent += int(exp_negative ? -e : e);
    }
    // Drop trailing zeros into the exponent so the digit string stays short.
    while (!digits.empty() && digits.back() == '0') {
        digits.pop_back();
        ++exponent;
    }
    out.negative = negative;
    out.digits = digits;
    out.exponent = digits.empty() ? 0 : exponent;
    return true;
}

bool ScaleParsed(const ParsedNumber& n, int scale, Int128& mantissa) {
    mantissa = 0;
    if (n.digits.empty())
        return true;
    int shift = n.exponent + scale;           // value = digits * 10^shift
    int keep = int(n.digits.size()) + shift;  // digits left of the unit position
    if (keep > 38)
        return false;
    if (keep < 0)
        return true;  // below a tenth of a unit: rounds to zero
    Int128 v = 0;
    int whole = std::min(keep, int(n.digits.size()));
    for (int i = 0; i < whole; ++i)
        v = v * 10 + (n.digits[size_t(i)] - '0');
    if (shift > 0) {
        v *= Pow10(shift);
    } else if (shift < 0) {
        int first = n.digits[size_t(keep)] - '0';
        bool rest_nonzero = false;
        for (size_t i = size_t(keep) + 1; i < n.digits.size(); ++i)
            rest_nonzero |= n.digits[i] != '0';
        if (first > 5 || (first == 5 && (rest_nonzero || (v & 1))))
            ++v;
    }
    if (v < 0)
        return false;
    mantissa = n.negative ? -v : v;
    return true;
}

double ParsedToDouble(const ParsedNumber& n) {
    if (n.digits.empty())
        return n.negative ? -0.0 : 0.0;
    // from_chars reads the C form whatever locale the host process set.
    std::string text = (n.negative ? "-" : "") + n.digits + "e" + std::to_string(n.exponent);
    double value = 0;
    if (std::from_chars(text.data(), text.data() + text.size(), value).ec ==
        std::errc::result_out_of_range) {
        const bool large = int64_t(n.digits.size()) + n.exponent > 0;
        const double magnitude = large ? HUGE_VAL : 0.0;
        return n.negative ? -magnitude : magnitude;
    }
    return value;
}

Int128 RoundDivPow10(Int128 m, int drop) {
    if (drop <= 0)
        return m;
    if (drop > 38)
        return 0;
    Int128 p = Pow10(drop);
    Int128 q = m / p, r = m % p;
    Int128 ar = r < 0 ? -r : r;
    Int128 half = p / 2;
    if (ar > half || (ar == half && (q & 1)))
        q += m < 0 ? -1 : 1;
    return q;
}

double RoundHalfEven(double value) {
    double r = std::round(value);
    if (std::fabs(value - std::trunc(value)) == 0.5)
        r = 2.0 * std::round(value / 2.0);
    return r;
}

std::u16string IntegerText(Int128 value) {
    bool negative = value < 0;
    unsigned __int128 v =
        negative ? (unsigned __int128)(-(value + 1)) + 1 : (unsigned __int128)value;
    std::u16string out;
    do {
        out.insert(out.begin(), char16_t(u'0' + int(v % 10)));
        v /= 10;
    } while (v);
    if (negative)
        out.insert(out.begin(), u'-');
    return out;
}

std::u16string ScaledText(Int128 mantissa, int scale) {
    bool negative = mantissa < 0;
    Int128 v = negative ? -mantissa : mantissa;
    std::u16string digits = IntegerText(v);
    if (scale > 0) {
        if (int(digits.size()) <= scale)
            digits.insert(0, size_t(scale + 1 - digits.size()), u'0');
        digits.insert(digits.size() - size_t(scale), 1, u'.');
        while (digits.back() == u'0')
            digits.pop_back();
        if (digits.back() == u'.')
            digits.pop_back();
    }
    if (negative && digits != u"0")
        digits.insert(digits.begin(), u'-');
    return digits;
}

std::u16string RealText(double value, int significant) {
    if (std::isnan(value))
        return u"NaN";
    if (std::isinf(value))
        return value < 0 ? u"-1.#INF" : u"1.#INF";
    // As printf's %.*G, but in the C form whatever locale the host process set.
    char buf[64];
    const auto written =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, significant);
    std::u16string out;
    for (const char* p = buf; p != written.ptr; ++p)
        out.push_back(*p == 'e' ? u'E' : char16_t(*p));
    if (out == u"-0")
        out = u"0";
    return out;
}

ScaledDecimal ScaledFromDecimal(const DECIMAL& d) {
    unsigned __int128 m = ((unsigned __int128)d.Hi32 << 64) | d.Lo64;
    ScaledDecimal out;
    out.mantissa = (d.sign & DECIMAL_NEG) ? -Int128(m) : Int128(m);
    out.scale = d.scale <= 28 ? d.scale : 28;
    return out;
}

bool DecimalFromScaled(ScaledDecimal value, DECIMAL& out) {
    constexpr Int128 k96 = Int128(1) << 96;
    while (value.scale > 28) {
        value.mantissa = RoundDivPow10(value.mantissa, 1);
        --value.scale;
    }
    Int128 m = value.mantissa < 0 ? -value.mantissa : value.mantissa;
    while (m >= k96 && value.scale > 0) {
        value.mantissa = RoundDivPow10(value.mantissa, 1);
        --value.scale;
        m = value.mantissa < 0 ? -value.mantissa : value.mantissa;
    }
    if (m >= k96)
        return false;
    out = DECIMAL{};
    out.scale = BYTE(value.scale);
    out.sign = value.mantissa < 0 ? DECIMAL_NEG : 0;
    out.Hi32 = ULONG(uint64_t(m >> 64));
    out.Lo64 = uint64_t(m);
    return true;
}

}  // namespace kvwin::oleaut

namespace kvwin {

bool NumberTextInCForm(std::u16string_view text, const LocaleData* locale, std::string* c_form) {
    if (!c_form || text.size() > 1000)
        return false;
    try {
        oleaut::ParsedNumber parsed;
        if (text.empty() || !oleaut::ParseNumberText(text, parsed, locale))
            return false;
        if (parsed.digits.empty()) {
            *c_form = parsed.negative ? "-0" : "0";
        } else {
            *c_form = (parsed.negative ? "-" : "") + parsed.digits + "e" +
                      std::to_string(parsed.exponent);
        }
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace kvwin
