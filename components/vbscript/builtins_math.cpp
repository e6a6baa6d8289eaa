// Numbers: CCur, CSng, Round, Fix, Int, Abs, Sgn, Sqr, Exp, Log, Sin, Cos, Tan, Atn, Rnd,
// Randomize.
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "builtins.h"
#include "convert.h"
#include "errors.h"
#include "interpreter.h"
#include "script_locale.h"
#include "variant_conversion.h"

namespace kvvbs {
namespace {

bool Given(const Value* a, uint32_t argc, uint32_t i) {
    return argc > i && !a[i].Deref().IsMissing();
}

// A conversion through the layer's VariantChangeTypeEx in the running script's locale:
// error 6 on overflow, 13 otherwise.
Value ChangeType(const Value& in, VARTYPE vt) {
    Value p = Primitive(in);
    if (p.IsNull())
        Throw(94);
    const kvwin::LocaleData* locale = RunningLocale();
    VARIANT src, dst;
    VariantInit(&src);
    VariantInit(&dst);
    ToVariant(p, &src);
    HRESULT hr =
        VariantChangeTypeEx(&dst, &src, locale ? locale->lcid : kvwin::kLcidEnglishUS, 0, vt);
    VariantClear(&src);
    if (hr == DISP_E_OVERFLOW)
        Throw(kErrOverflow);
    if (FAILED(hr))
        Throw(kErrTypeMismatch);
    Value out = FromVariant(dst);
    VariantClear(&dst);
    return out;
}

Value CCur(Runtime&, Value* a, uint32_t) {
    return ChangeType(a[0], VT_CY);
}

Value CSng(Runtime&, Value* a, uint32_t) {
    Value v = ChangeType(a[0], VT_R4);
    return Value::Single(float(ToDouble(v)));
}

// x rounded half to even at `decimals`, the halves judged on the 15 significant digits the
// value is read with (so 2.675 is a half, as written).
double RoundDecimals(double x, int decimals) {
    if (!std::isfinite(x) || x == 0)
        return x;
    char buf[48];
    const auto written =
        std::to_chars(buf, buf + sizeof buf - 1, std::fabs(x), std::chars_format::scientific, 14);
    *written.ptr = '\0';  // the C form whatever the host's locale: "2.67500000000000e+00"
    std::string digits;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p != '.')
            digits += *p;
    int int_len = std::atoi(p + 1) + 1;
    const int64_t kept = int64_t(int_len) + decimals;  // decimals may be up to 2^31 - 1
    if (kept >= int64_t(digits.size()))
        return x;
    if (kept < 0)
        return std::copysign(0.0, x);
    const int keep = int(kept);
    char next = digits[size_t(keep)];
    bool rest_zero = digits.find_first_not_of('0', size_t(keep) + 1) == std::string::npos;
    bool odd = keep > 0 && (digits[size_t(keep) - 1] - '0') % 2 == 1;
    bool up = next > '5' || (next == '5' && (!rest_zero || odd));
    digits.resize(size_t(keep));
    if (up) {
        int i = keep - 1;
        for (; i >= 0 && digits[size_t(i)] == '9'; --i)
            digits[size_t(i)] = '0';
        if (i >= 0) {
            ++digits[size_t(i)];
        } else {
            digits.insert(digits.begin(), '1');
            ++int_len;
        }
    }
    std::string text =
        "0." + (digits.empty() ? std::string("0") : digits) + "e" + std::to_string(int_len);
    double r = 0;
    ReadCFormDouble(text, &r);  // "0.<digits>e<exponent>", always the C form
    return std::copysign(r, x);
}

Value Round(Runtime&, Value* a, uint32_t argc) {
    Value v = Primitive(a[0]);
    if (v.IsNull())
        return v;
    int32_t decimals = Given(a, argc, 1) ? ToLong(a[1]) : 0;
    if (decimals < 0)
        Throw(kErrIllegalCall);
    switch (v.kind()) {
        case Kind::Empty:
            return Value::Integer(0);
        case Kind::Boolean:
            return Value::Integer(v.AsInt());
        case Kind::Integer:
        case Kind::Long:
        case Kind::Byte:
            return v;
        case Kind::Currency: {
            if (decimals >= 4)
                return v;
            int64_t unit = decimals == 0 ? 10000 : decimals == 1 ? 1000 : decimals == 2 ? 100 : 10;
            int64_t m = v.AsCurrency(), q = m / unit, r = m % unit;
            if (2 * std::llabs(r) > unit || (2 * std::llabs(r) == unit && q % 2 != 0))
                q += m < 0 ? -1 : 1;
            return Value::Currency(q * unit);
        }
        case Kind::Date:
            return Value::Date(RoundDecimals(v.AsDouble(), decimals));
        default:
            return Value::Double(RoundDecimals(ToDouble(v), decimals));
    }
}

// Fix and Int: the integer part towards zero, or the next lower integer.
template <bool kFloor>
Value IntegerPart(Runtime&, Value* a, uint32_t) {
    Value v = Primitive(a[0]);
    auto cut = [](double d) { return kFloor ? std::floor(d) : std::trunc(d); };
    switch (v.kind()) {
        case Kind::Null:
        case Kind::Integer:
        case Kind::Long:
        case Kind::Byte:
            return v;
        case Kind::Empty:
            return Value::Integer(0);
        case Kind::Boolean:
            return Value::Integer(v.AsInt());
        case Kind::Currency: {
            int64_t m = v.AsCurrency(), q = m / 10000;
            if (kFloor && m % 10000 < 0)
                --q;
            return Value::Currency(q * 10000);
        }
        case Kind::Date:
            return Value::Date(cut(v.AsDouble()));
        default:
            return Value::Double(cut(ToDouble(v)));
    }
}

Value Abs(Runtime&, Value* a, uint32_t) {
    Value v = Primitive(a[0]);
    switch (v.kind()) {
        case Kind::Null:
            return v;
        case Kind::Empty:
            return Value::Integer(0);
        case Kind::Boolean:
        case Kind::Integer:
            return v.AsInt() == -32768 ? Value::Long(32768) : Value::Integer(std::abs(v.AsInt()));
        case Kind::Byte:
            return v;
        case Kind::Long:
            return v.AsInt() == INT32_MIN ? Value::Double(2147483648.0)
                                          : Value::Long(std::abs(v.AsInt()));
        case Kind::Currency:
            if (v.AsCurrency() == INT64_MIN)
                Throw(kErrOverflow);
            return Value::Currency(std::llabs(v.AsCurrency()));
        default:
            return Value::Double(std::fabs(ToDouble(v)));
    }
}

Value Sgn(Runtime&, Value* a, uint32_t) {
    double d = ToDouble(a[0]);
    return Value::Integer(d > 0 ? 1 : d < 0 ? -1 : 0);
}

// The functions of one Double: Null passes through; a result that is not finite is error 6;
// `valid` rejects arguments outside the domain with error 5.
template <double (*F)(double), bool (*Valid)(double)>
Value MathFn(Runtime&, Value* a, uint32_t) {
    Value v = Primitive(a[0]);
    if (v.IsNull())
        return v;
    double x = ToDouble(v);
    if (!Valid(x))
        Throw(kErrIllegalCall);
    double r = F(x);
    if (!std::isfinite(r))
        Throw(kErrOverflow);
    return Value::Double(r);
}
bool Any(double) {
    return true;
}
bool NonNegative(double x) {
    return x >= 0;
}
bool Positive(double x) {
    return x > 0;
}
double Sqrt(double x) {
    return std::sqrt(x);
}
double Exp(double x) {
    return std::exp(x);
}
double Log(double x) {
    return std::log(x);
}
double Sin(double x) {
    return std::sin(x);
}
double Cos(double x) {
    return std::cos(x);
}
double Tan(double x) {
    return std::tan(x);
}
double Atan(double x) {
    return std::atan(x);
}

// Rnd's generator: x = (x * 0x43FD43FD + 0xC39EC3) mod 2^24, the value x / 2^24, starting
// from 0x50000. Rnd(negative) reseeds from the number's Single bits first; Rnd(0) repeats
// the last value; Randomize mixes a number's Double bits into the middle of the seed.
void Step(uint32_t& x) {
    x = (x * 0x43FD43FDu + 0xC39EC3u) & 0xFFFFFFu;
}

Value Rnd(Runtime& rt, Value* a, uint32_t argc) {
    if (Given(a, argc, 0)) {
        double d = ToDouble(a[0]);
        float n = std::fabs(d) <= FLT_MAX ? float(d) : float(std::copysign(HUGE_VAL, d));
        if (n == 0)
            return Value::Double(double(float(rt.rnd_seed) / 16777216.0f));
        if (n < 0) {
            uint32_t bits;
            std::memcpy(&bits, &n, sizeof bits);
            rt.rnd_seed = (bits + (bits >> 24)) & 0xFFFFFFu;
        }
    }
    Step(rt.rnd_seed);
    return Value::Double(double(float(rt.rnd_seed) / 16777216.0f));
}

Value Randomize(Runtime& rt, Value* a, uint32_t argc) {
    double n;
    if (Given(a, argc, 0)) {
        n = ToDouble(a[0]);
    } else {
        SYSTEMTIME st;
        GetLocalTime(&st);
        n = double(float(st.wHour * 3600 + st.wMinute * 60 + st.wSecond +
                         st.wMilliseconds / 1000.0));  // Timer's value
    }
    uint64_t bits;
    std::memcpy(&bits, &n, sizeof bits);
    uint32_t hi = uint32_t(bits >> 32);
    uint32_t mix = ((hi & 0xFFFFu) ^ (hi >> 16)) << 8;
    rt.rnd_seed = (rt.rnd_seed & 0xFF0000FFu) | (mix & 0x00FFFF00u);
    return Value();
}

const Builtin kMath[] = {
    {u"ccur", 1, 1, CCur},
    {u"csng", 1, 1, CSng},
    {u"round", 1, 2, Round},
    {u"fix", 1, 1, IntegerPart<false>},
    {u"int", 1, 1, IntegerPart<true>},
    {u"abs", 1, 1, Abs},
    {u"sgn", 1, 1, Sgn},
    {u"sqr", 1, 1, MathFn<Sqrt, NonNegative>},
    {u"exp", 1, 1, MathFn<Exp, Any>},
    {u"log", 1, 1, MathFn<Log, Positive>},
    {u"sin", 1, 1, MathFn<Sin, Any>},
    {u"cos", 1, 1, MathFn<Cos, Any>},
    {u"tan", 1, 1, MathFn<Tan, Any>},
    {u"atn", 1, 1, MathFn<Atan, Any>},
    {u"rnd", 0, 1, Rnd},
    {u"randomize", 0, 1, Randomize},
};

}  // namespace

std::span<const Builtin> MathBuiltins() {
    return kMath;
}

}  // namespace kvvbs
