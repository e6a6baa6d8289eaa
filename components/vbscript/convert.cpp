// The conversion rules.
#include "convert.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "com_calls.h"
#include "errors.h"
#include "kvwin/ascii_case.h"
#include "kvwin/hex_digit.h"
#include "kvwin/number_text.h"
#include "script_locale.h"

namespace kvvbs {

Value Primitive(const Value& v) {
    const Value& x = v.Deref();
    if (!x.IsObject())
        return x;
    if (!x.AsObject())
        Throw(kErrNotSet);
    return DefaultValue(x.AsObject());
}

double RoundEven(double d) {
    return std::nearbyint(d);  // the default rounding mode rounds half to even
}

namespace {

// "&HFF", "&O17": hex or octal Integer (up to four hex digits) or Long.
bool ParseRadix(std::u16string_view text, double* out) {
    int base = (text[1] == u'h' || text[1] == u'H')   ? 16
               : (text[1] == u'o' || text[1] == u'O') ? 8
                                                      : 0;
    if (!base)
        return false;
    uint64_t n = 0;
    for (size_t i = 2; i < text.size(); ++i) {
        char16_t c = text[i];
        const int digit = kvwin::HexDigitValue(c);
        if (digit < 0 || digit >= base)
            return false;
        n = n * unsigned(base) + unsigned(digit);
        if (n > 0xFFFFFFFFull)
            return false;
    }
    *out = text.size() - 2 <= 4 && base == 16 ? double(int16_t(n)) : double(int32_t(uint32_t(n)));
    return true;
}

}  // namespace

bool ParseNumberIn(std::u16string_view text, const kvwin::LocaleData* locale, double* out) {
    size_t b = 0;
    while (b < text.size() && (text[b] == u' ' || text[b] == u'\t'))
        ++b;
    if (text.size() - b > 2 && text[b] == u'&')
        return ParseRadix(text.substr(b), out);
    // Decimal texts are read as the layer's conversions read them, in the same locale.
    std::string c_form;
    double d = 0;
    if (!kvwin::NumberTextInCForm(text, locale, &c_form) ||
        ReadCFormDouble(c_form, &d) != std::errc())
        return false;  // too large is no number either
    *out = d;
    return true;
}

std::errc ReadCFormDouble(std::string_view text, double* out) {
    const char* first = text.data();
    const char* last = first + text.size();
    double d = 0;
    auto [end, ec] = std::from_chars(first, last, d);
    if (ec == std::errc::result_out_of_range) {
        const char* exp = std::find_if(first, last, [](char c) { return c == 'e' || c == 'E'; });
        if (exp == last || exp + 1 == last || exp[1] != '-')
            return std::errc::result_out_of_range;
        d = first != last && first[0] == '-' ? -0.0 : 0.0;  // too small: zero
        ec = std::errc();
        end = last;
    }
    if (ec != std::errc() || end != last)
        return std::errc::invalid_argument;
    *out = d;
    return std::errc();
}

bool ParseNumber(std::u16string_view text, double* out) {
    return ParseNumberIn(text, RunningLocale(), out);
}

Value ToNumeric(const Value& in) {
    const Value& v = in.Deref();
    switch (v.kind()) {
        case Kind::Empty:
            return Value::Integer(0);
        case Kind::Integer:
        case Kind::Long:
        case Kind::Byte:
        case Kind::Boolean:
        case Kind::Double:
        case Kind::Currency:
        case Kind::Date:
            return v;
        case Kind::String: {
            double d;
            if (!ParseNumber(v.AsString(), &d))
                Throw(kErrTypeMismatch);
            return Value::Double(d);
        }
        case Kind::Object:
            return ToNumeric(Primitive(v));
        case Kind::Null:
            ThrowInvalidNull();
        default:
            Throw(kErrTypeMismatch);
    }
}

double ToDouble(const Value& in) {
    Value v = ToNumeric(in);
    switch (v.kind()) {
        case Kind::Double:
        case Kind::Date:
            return v.AsDouble();
        case Kind::Currency:
            return double(v.AsCurrency()) / 10000.0;
        default:
            return v.AsInt();
    }
}

int32_t ToLong(const Value& in) {
    const Value& d = in.Deref();
    if (d.IsSmallInt())
        return d.AsInt();
    double x = RoundEven(ToDouble(d));
    if (!(x >= -2147483648.0 && x <= 2147483647.0))
        Throw(kErrOverflow);
    return int32_t(x);
}

int32_t ToInteger(const Value& v) {
    int32_t x = ToLong(v);
    if (x < -32768 || x > 32767)
        Throw(kErrOverflow);
    return x;
}

bool ToBool(const Value& in) {
    const Value& v = in.Deref();
    switch (v.kind()) {
        case Kind::Boolean:
            return v.AsBool();
        case Kind::String: {
            const std::u16string_view s = v.AsString();
            if (kvwin::EqualsAsciiNoCase(s, u"true"))
                return true;
            if (kvwin::EqualsAsciiNoCase(s, u"false"))
                return false;
            return ToDouble(v) != 0;
        }
        default:
            return ToDouble(v) != 0;
    }
}

namespace {

// A number to `precision` significant digits, as Automation writes it: in plain digits while
// they fit in `precision` places ("0.001", "123456789012345"), else as "1.5E-07", "1E+20".
std::u16string NumberText(double d, int precision) {
    if (std::isnan(d))
        return u"NaN";
    if (std::isinf(d))
        return d > 0 ? u"Infinity" : u"-Infinity";
    if (d == 0)
        return u"0";
    char buf[64];
    auto written = std::to_chars(buf, buf + sizeof buf - 1, std::fabs(d),
                                 std::chars_format::scientific, precision - 1);
    *written.ptr = 0;
    // buf: "d.ddddde[+-]xx"; the digits without the point and trailing zeros.
    char digits[32];
    int count = 0;
    const char* p = buf;
    for (; *p && *p != 'e' && count < int(sizeof digits); ++p)
        if (*p != '.')
            digits[count++] = *p;
    const int exponent = *p == 'e' ? std::atoi(p + 1) : 0;
    while (count > 1 && digits[count - 1] == '0')
        --count;
    char16_t out[64];
    int n = 0;
    if (d < 0)
        out[n++] = u'-';
    auto put_digits = [&](int from, int to) {
        for (int i = from; i < to; ++i)
            out[n++] = char16_t(digits[i]);
    };
    if (exponent >= precision || (exponent < 0 && count - exponent - 1 > precision)) {
        out[n++] = char16_t(digits[0]);
        if (count > 1) {
            out[n++] = u'.';
            put_digits(1, count);
        }
        char exp[16];
        int len =
            std::snprintf(exp, sizeof exp, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
        for (int i = 0; i < len; ++i)
            out[n++] = char16_t(exp[i]);
    } else if (exponent < 0) {
        out[n++] = u'0';
        out[n++] = u'.';
        for (int i = 0; i < -exponent - 1; ++i)
            out[n++] = u'0';
        put_digits(0, count);
    } else if (count > exponent + 1) {
        put_digits(0, exponent + 1);
        out[n++] = u'.';
        put_digits(exponent + 1, count);
    } else {
        put_digits(0, count);
        for (int i = count; i < exponent + 1; ++i)
            out[n++] = u'0';
    }
    return std::u16string(out, size_t(n));
}

std::u16string WithDecimal(std::u16string text, const kvwin::LocaleData* locale) {
    if (locale && locale->decimal != u".") {
        size_t point = text.find(u'.');
        if (point != std::u16string::npos)
            text.replace(point, 1, locale->decimal);
    }
    return text;
}

}  // namespace

std::u16string FormatDoubleIn(double d, const kvwin::LocaleData* locale) {
    return WithDecimal(NumberText(d, 15), locale);
}

std::u16string FormatSingleIn(float f, const kvwin::LocaleData* locale) {
    return WithDecimal(NumberText(f, 7), locale);
}

std::u16string FormatCurrencyIn(int64_t scaled, const kvwin::LocaleData* locale) {
    const uint64_t magnitude = scaled < 0 ? 0 - uint64_t(scaled) : uint64_t(scaled);
    std::string text = (scaled < 0 ? "-" : "") + std::to_string(magnitude / 10000);
    if (uint64_t fraction = magnitude % 10000) {
        char digits[8];
        std::snprintf(digits, sizeof digits, ".%04u", unsigned(fraction));
        size_t len = 5;
        while (digits[len - 1] == '0')
            --len;
        text.append(digits, len);
    }
    return WithDecimal(std::u16string(text.begin(), text.end()), locale);
}

std::u16string FormatDouble(double d) {
    return NumberText(d, 15);
}

namespace {

std::u16string VariantText(VARTYPE vt, double value) {
    VARIANT in, out;
    VariantInit(&in);
    VariantInit(&out);
    in.vt = vt;
    in.date = value;
    if (FAILED(VariantChangeTypeEx(&out, &in, kvwin::kLcidEnglishUS, 0, VT_BSTR)))
        return FormatDouble(value);
    std::u16string text(out.bstrVal, SysStringLen(out.bstrVal));
    VariantClear(&out);
    return text;
}

}  // namespace

std::u16string ToText(const Value& in) {
    const Value& v = in.Deref();
    switch (v.kind()) {
        case Kind::Empty:
            return u"";
        case Kind::String:
            return std::u16string(v.AsString());
        case Kind::Boolean:
            return v.AsBool() ? u"True" : u"False";
        case Kind::Integer:
        case Kind::Long:
        case Kind::Byte: {
            std::string s = std::to_string(v.AsInt());
            return std::u16string(s.begin(), s.end());
        }
        case Kind::Double:
            if (v.IsSingle())
                return FormatSingleIn(float(v.AsDouble()), RunningLocale());
            return FormatDoubleIn(v.AsDouble(), RunningLocale());
        case Kind::Currency:
            return FormatCurrencyIn(v.AsCurrency(), RunningLocale());
        case Kind::Date:
            if (Runtime* rt = Runtime::Running())
                return DateTextIn(*rt, v.AsDouble());
            return VariantText(VT_DATE, v.AsDouble());
        case Kind::Object:
            return ToText(Primitive(v));
        case Kind::Null:
            ThrowInvalidNull();
        default:
            Throw(kErrTypeMismatch);
    }
}

int VarTypeOf(const Value& in) {
    const Value& v = in.Deref();
    switch (v.kind()) {
        case Kind::Empty:
            return VT_EMPTY;
        case Kind::Null:
            return VT_NULL;
        case Kind::Boolean:
            return VT_BOOL;
        case Kind::Integer:
            return VT_I2;
        case Kind::Long:
            return VT_I4;
        case Kind::Byte:
            return VT_UI1;
        case Kind::Double:
            return v.IsSingle() ? VT_R4 : VT_R8;
        case Kind::Currency:
            return VT_CY;
        case Kind::Date:
            return VT_DATE;
        case Kind::String:
            return VT_BSTR;
        case Kind::Object:
            return VT_DISPATCH;
        case Kind::Array:
            return VT_ARRAY | VT_VARIANT;
        case Kind::Error:
            return VT_ERROR;
        default:
            return VT_VARIANT;
    }
}

std::u16string TypeNameOf(const Value& in) {
    const Value& v = in.Deref();
    switch (v.kind()) {
        case Kind::Empty:
            return u"Empty";
        case Kind::Null:
            return u"Null";
        case Kind::Boolean:
            return u"Boolean";
        case Kind::Integer:
            return u"Integer";
        case Kind::Long:
            return u"Long";
        case Kind::Byte:
            return u"Byte";
        case Kind::Double:
            return v.IsSingle() ? u"Single" : u"Double";
        case Kind::Currency:
            return u"Currency";
        case Kind::Date:
            return u"Date";
        case Kind::String:
            return u"String";
        case Kind::Object:
            return v.AsObject() ? ObjectTypeName(v.AsObject()) : u"Nothing";
        case Kind::Array:
            return u"Variant()";
        case Kind::Error:
            return u"Error";
        default:
            return u"Unknown";
    }
}

}  // namespace kvvbs
