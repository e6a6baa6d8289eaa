// Arithmetic, concatenation, logic and comparison.
#include "operators.h"

#include <cmath>
#include <limits>

#include "com_calls.h"
#include "convert.h"
#include "errors.h"

namespace kvvbs {
namespace {

// Rank of the integer kinds for the result of integer arithmetic.
int IntRank(Kind k) {
    switch (k) {
        case Kind::Byte:
            return 0;
        case Kind::Integer:
        case Kind::Boolean:
            return 1;
        default:
            return 2;
    }
}

Value FitInteger(int64_t r, int rank) {
    if (rank == 0 && r >= 0 && r <= 255)
        return Value::Byte(int32_t(r));
    if (rank <= 1 && r >= -32768 && r <= 32767)
        return Value::Integer(int32_t(r));
    if (r >= INT32_MIN && r <= INT32_MAX)
        return Value::Long(int32_t(r));
    return Value::Double(double(r));
}

Value CheckedDouble(double d) {
    if (std::isinf(d) || std::isnan(d))
        Throw(kErrOverflow);
    return Value::Double(d);
}

// Single with Single, Integer, Byte or Boolean gives a Single; with Long, Double, a text or
// a date it gives a Double, with Currency a Currency. The operands are numeric already.
bool StaysSingle(const Value& a, const Value& b) {
    auto narrow = [](const Value& v) {
        return v.IsSingle() || v.Is(Kind::Integer) || v.Is(Kind::Byte) || v.Is(Kind::Boolean);
    };
    return (a.IsSingle() || b.IsSingle()) && narrow(a) && narrow(b);
}

// A Single result, or a Double when it is beyond a Single's range.
Value SingleOrDouble(double v) {
    if (std::isfinite(v) && std::fabs(v) <= double(std::numeric_limits<float>::max()))
        return Value::Single(float(v));
    return CheckedDouble(v);
}

// Currency + - * with Currency or an integer kind, exactly on the scaled integers (value =
// scaled / 10000); a product's fifth decimal rounds half to even; beyond the Currency range
// is error 6.
Value CurrencyArith(BinOp op, const Value& a, const Value& b) {
    auto scaled = [](const Value& v) {
        return v.Is(Kind::Currency) ? __int128(v.AsCurrency()) : __int128(v.AsInt()) * 10000;
    };
    const __int128 l = scaled(a), r = scaled(b);
    __int128 v;
    if (op == BinOp::Add) {
        v = l + r;
    } else if (op == BinOp::Sub) {
        v = l - r;
    } else {
        const __int128 product = l * r;  // below 2^126: no overflow
        v = product / 10000;
        const __int128 rest = product % 10000;
        const __int128 twice = rest < 0 ? -2 * rest : 2 * rest;
        if (twice > 10000 || (twice == 10000 && (v & 1)))
            v += product < 0 ? -1 : 1;
    }
    if (v < INT64_MIN || v > INT64_MAX)
        Throw(kErrOverflow);
    return Value::Currency(int64_t(v));
}

// Numeric + - * for two primitives that are not Null.
Value Arith(BinOp op, const Value& x, const Value& y) {
    Value a = ToNumeric(x), b = ToNumeric(y);
    if (a.IsSmallInt() && b.IsSmallInt()) {
        int64_t l = a.AsInt(), r = b.AsInt();
        int64_t v = op == BinOp::Add ? l + r : op == BinOp::Sub ? l - r : l * r;
        int rank = std::max(IntRank(a.kind()), IntRank(b.kind()));
        return FitInteger(v, rank);
    }
    double l = ToDouble(a), r = ToDouble(b);
    double v = op == BinOp::Add ? l + r : op == BinOp::Sub ? l - r : l * r;
    if (StaysSingle(a, b))
        return SingleOrDouble(v);
    if ((a.Is(Kind::Date) || b.Is(Kind::Date)) && op != BinOp::Mul)
        return Value::Date(v);
    if ((a.Is(Kind::Currency) || b.Is(Kind::Currency)) && !a.Is(Kind::Double) &&
        !b.Is(Kind::Double))
        return CurrencyArith(op, a, b);
    return CheckedDouble(v);
}

int32_t LongOperand(const Value& v) {
    return ToLong(v);
}

bool IsIntegerLike(const Value& v) {
    return v.Is(Kind::Integer) || v.Is(Kind::Byte) || v.Is(Kind::Boolean) || v.IsEmpty();
}

Value Logic(BinOp op, const Value& a, const Value& b) {
    if (a.IsNull() || b.IsNull()) {
        const Value& other = a.IsNull() ? b : a;
        if (other.IsNull())
            return Value::Null();
        if (op == BinOp::And && ToLong(other) == 0)
            return ToNumeric(other).Is(Kind::Boolean) ? Value::Bool(false) : Value::Integer(0);
        if (op == BinOp::Or && ToLong(other) == -1)
            return other;
        return Value::Null();
    }
    int32_t l = LongOperand(a), r = LongOperand(b), v = 0;
    switch (op) {
        case BinOp::And:
            v = l & r;
            break;
        case BinOp::Or:
            v = l | r;
            break;
        case BinOp::Xor:
            v = l ^ r;
            break;
        case BinOp::Eqv:
            v = ~(l ^ r);
            break;
        default:
            v = ~l | r;
            break;
    }
    const Value& da = a.Deref();
    const Value& db = b.Deref();
    if (da.Is(Kind::Boolean) && db.Is(Kind::Boolean))
        return Value::Bool(v != 0);
    if (IsIntegerLike(da) && IsIntegerLike(db))
        return Value::Integer(v);
    return Value::Long(v);
}

int CompareText(std::u16string_view a, std::u16string_view b, bool text_compare) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        char16_t x = a[i], y = b[i];
        if (text_compare) {
            if (x >= u'a' && x <= u'z')
                x = char16_t(x - 32);
            if (y >= u'a' && y <= u'z')
                y = char16_t(y - 32);
        }
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

int CompareNumbers(double x, double y) {
    return x < y ? -1 : x > y ? 1 : 0;
}

}  // namespace

int Compare(const Value& x, const Value& y, uint8_t literals, bool text_compare) {
    Value a = Primitive(x), b = Primitive(y);
    if (a.IsNull() || b.IsNull())
        return 2;
    const bool as = a.IsString(), bs = b.IsString();
    if (as && bs)
        return CompareText(a.AsString(), b.AsString(), text_compare);
    if (a.IsEmpty() && b.IsEmpty())
        return 0;
    if (as || bs) {
        const Value& text = as ? a : b;
        const Value& other = as ? b : a;
        const bool text_literal = (literals & (as ? kLeftLiteral : kRightLiteral)) != 0;
        const bool other_literal = (literals & (as ? kRightLiteral : kLeftLiteral)) != 0;
        int sign = as ? 1 : -1;
        if (other.IsEmpty())
            return sign * CompareText(text.AsString(), u"", text_compare);
        if (text_literal && !other_literal) {
            // The literal text takes the variable's numeric kind.
            double d;
            if (!ParseNumber(text.AsString(), &d))
                Throw(kErrTypeMismatch);
            if (other.IsSingle())
                d = double(float(d));
            return sign * CompareNumbers(d, ToDouble(other));
        }
        if (other_literal && !text_literal)
            return sign * CompareText(text.AsString(), ToText(other), text_compare);
        if (other_literal && text_literal) {
            double d;
            if (ParseNumber(text.AsString(), &d))
                return sign * CompareNumbers(d, ToDouble(other));
        }
        // A number is less than any text.
        return sign;
    }
    if (a.IsSmallInt() && b.IsSmallInt())
        return a.AsInt() < b.AsInt() ? -1 : a.AsInt() > b.AsInt() ? 1 : 0;
    return CompareNumbers(ToDouble(a), ToDouble(b));
}

Value Binary(BinOp op, const Value& x, const Value& y, uint8_t literals) {
    if (op >= BinOp::Eq) {
        int c = Compare(x, y, literals);
        if (c == 2)
            return Value::Null();
        switch (op) {
            case BinOp::Eq:
                return Value::Bool(c == 0);
            case BinOp::Ne:
                return Value::Bool(c != 0);
            case BinOp::Lt:
                return Value::Bool(c < 0);
            case BinOp::Le:
                return Value::Bool(c <= 0);
            case BinOp::Gt:
                return Value::Bool(c > 0);
            default:
                return Value::Bool(c >= 0);
        }
    }
    const Value& dx = x.Deref();
    const Value& dy = y.Deref();
    // The fast path: two Longs or Integers.
    if ((op == BinOp::Add || op == BinOp::Sub) && dx.Is(Kind::Long) && dy.Is(Kind::Long)) {
        int64_t r =
            op == BinOp::Add ? int64_t(dx.AsInt()) + dy.AsInt() : int64_t(dx.AsInt()) - dy.AsInt();
        if (r >= INT32_MIN && r <= INT32_MAX)
            return Value::Long(int32_t(r));
    }
    if (op == BinOp::Concat) {
        if (dx.IsNull() && dy.IsNull())
            return Value::Null();
        if (dx.HasOddByte() || dy.HasOddByte()) {
            // Texts join byte by byte: ChrB(65) & ChrB(0) is "A".
            Value joined = dx.IsString() ? dx : Value::String(dx.IsNull() ? u"" : ToText(dx));
            joined.AppendText(dy.IsString() ? dy : Value::String(dy.IsNull() ? u"" : ToText(dy)));
            return joined;
        }
        std::u16string l = dx.IsNull() ? u"" : ToText(dx);
        const std::u16string r = dy.IsNull() ? u"" : ToText(dy);
        CheckTextLength(l.size() + r.size());
        l += r;
        return Value::String(std::move(l));
    }
    Value a = Primitive(dx), b = Primitive(dy);
    if (op >= BinOp::And)
        return Logic(op, a, b);
    if (a.IsNull() || b.IsNull())
        return Value::Null();
    switch (op) {
        case BinOp::Add:
            if (a.IsString() && b.IsString()) {
                CheckTextLength(size_t(a.StringLength()) + b.StringLength());
                std::u16string s(a.AsString());
                s += b.AsString();
                return Value::String(std::move(s));
            }
            if ((a.IsString() && b.IsEmpty()) || (a.IsEmpty() && b.IsString()))
                return a.IsString() ? a : b;
            return Arith(op, a, b);
        case BinOp::Sub:
        case BinOp::Mul:
            return Arith(op, a, b);
        case BinOp::Div: {
            Value na = ToNumeric(a), nb = ToNumeric(b);
            double d = ToDouble(nb);
            double n = ToDouble(na);
            if (d == 0)
                Throw(n == 0 ? kErrOverflow : kErrDivisionByZero);
            return StaysSingle(na, nb) ? SingleOrDouble(n / d) : CheckedDouble(n / d);
        }
        case BinOp::IntDiv:
        case BinOp::Mod: {
            Value na = ToNumeric(a), nb = ToNumeric(b);
            int32_t l = ToLong(na), r = ToLong(nb);
            if (r == 0)
                Throw(kErrDivisionByZero);
            int64_t v = op == BinOp::IntDiv ? int64_t(l) / r : int64_t(l) % r;
            return FitInteger(v, std::max(IntRank(na.kind()), IntRank(nb.kind())));
        }
        case BinOp::Pow: {
            double base = ToDouble(a), exp = ToDouble(b);
            if (base < 0 && exp != std::floor(exp))
                Throw(kErrIllegalCall);
            return CheckedDouble(std::pow(base, exp));
        }
        default:
            Throw(kErrTypeMismatch);
    }
}

Value Negate(const Value& x) {
    Value a = Primitive(x);
    if (a.IsNull())
        return a;
    Value n = ToNumeric(a);
    switch (n.kind()) {
        case Kind::Double:
            return n.IsSingle() ? Value::Single(-float(n.AsDouble()))
                                : Value::Double(-n.AsDouble());
        case Kind::Date:
            return Value::Date(-n.AsDouble());
        case Kind::Currency:
            if (n.AsCurrency() == INT64_MIN)
                Throw(kErrOverflow);
            return Value::Currency(-n.AsCurrency());
        default:
            return FitInteger(-int64_t(n.AsInt()), n.Is(Kind::Long) ? 2 : 1);
    }
}

Value Not(const Value& x) {
    Value a = Primitive(x);
    if (a.IsNull())
        return a;
    if (a.Is(Kind::Boolean))
        return Value::Bool(!a.AsBool());
    int32_t v = ~ToLong(a);
    if (a.IsEmpty() || a.Is(Kind::Integer) || a.Is(Kind::Byte))
        return Value::Integer(v);
    return Value::Long(v);
}

bool SameObject(const Value& x, const Value& y) {
    const Value& a = x.Deref();
    const Value& b = y.Deref();
    if (!a.IsObject() || !b.IsObject())
        Throw(kErrObjectRequired);
    return IdentityOf(a.AsObject()) == IdentityOf(b.AsObject());
}

}  // namespace kvvbs
