// The conversion rules.
#include "convert.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "com_calls.h"
#include "errors.h"

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

bool ParseNumber(std::u16string_view text, double* out) {
    size_t b = 0, e = text.size();
    while (b < e && (text[b] == u' ' || text[b] == u'\t'))
        ++b;
    while (e > b && (text[e - 1] == u' ' || text[e - 1] == u'\t'))
        --e;
    if (b == e || e - b > 400)
        return false;
    std::string ascii;
    for (size_t i = b; i < e; ++i) {
        if (text[i] > 127)
            return false;
        ascii += char(text[i]);
    }
    if (ascii[0] == '&' && ascii.size() > 2) {
        int base = (ascii[1] == 'h' || ascii[1] == 'H')   ? 16
                   : (ascii[1] == 'o' || ascii[1] == 'O') ? 8
                                                          : 0;
        if (!base)
            return false;
        char* end = nullptr;
        unsigned long long n = std::strtoull(ascii.c_str() + 2, &end, base);
        if (*end || n > 0xFFFFFFFFull)
            return false;
        *out =
            ascii.size() - 2 <= 4 && base == 16 ? double(int16_t(n)) : double(int32_t(uint32_t(n)));
        return true;
    }
    for (char c : ascii) {
        if (!(isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' ||
              c == 'e' || c == 'E'))
            return false;
    }
    char* end = nullptr;
    double d = std::strtod(ascii.c_str(), &end);
    if (*end || end == ascii.c_str())
        return false;
    *out = d;
    return true;
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
            Throw(94, u"Invalid use of Null");
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
            std::u16string_view s = v.AsString();
            auto is = [&](std::u16string_view w) {
                if (s.size() != w.size())
                    return false;
                for (size_t i = 0; i < s.size(); ++i) {
                    char16_t c = s[i] >= u'A' && s[i] <= u'Z' ? char16_t(s[i] + 32) : s[i];
                    if (c != w[i])
                        return false;
                }
                return true;
            };
            if (is(u"true"))
                return true;
            if (is(u"false"))
                return false;
            return ToDouble(v) != 0;
        }
        default:
            return ToDouble(v) != 0;
    }
}

std::u16string FormatDouble(double d) {
    if (std::isnan(d))
        return u"NaN";
    if (std::isinf(d))
        return d > 0 ? u"Infinity" : u"-Infinity";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15G", d);
    std::string s = buf;
    // "1E+020" style exponents never appear with %G; drop a leading zero in the exponent.
    size_t e = s.find('E');
    if (e != std::string::npos && e + 2 < s.size() && s[e + 2] == '0' && e + 3 < s.size())
        s.erase(e + 2, 1);
    return std::u16string(s.begin(), s.end());
}

namespace {

std::u16string VariantText(VARTYPE vt, double value) {
    VARIANT in, out;
    VariantInit(&in);
    VariantInit(&out);
    in.vt = vt;
    in.date = value;
    if (FAILED(VariantChangeType(&out, &in, 0, VT_BSTR)))
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
            return FormatDouble(v.AsDouble());
        case Kind::Currency:
            return FormatDouble(double(v.AsCurrency()) / 10000.0);
        case Kind::Date:
            return VariantText(VT_DATE, v.AsDouble());
        case Kind::Object:
            return ToText(Primitive(v));
        case Kind::Null:
            Throw(94, u"Invalid use of Null");
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
            return VT_R8;
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
            return u"Double";
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
