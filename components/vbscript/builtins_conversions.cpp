// Conversions and tests: CStr, CInt, CLng, CDbl, CBool, CByte, Hex, Oct, IsNull, IsEmpty,
// IsArray, IsObject, IsNumeric, VarType, TypeName.
#include <cmath>
#include <string>

#include "builtins.h"
#include "convert.h"
#include "errors.h"
#include "script_locale.h"

namespace kvvbs {
namespace {

Value NotNull(const Value& v) {
    Value p = Primitive(v);
    if (p.IsNull())
        ThrowInvalidNull();
    return p;
}

// Dates in the script's locale; everything else as the conversions write it.
Value CStr(Runtime& rt, Value* a, uint32_t) {
    Value v = NotNull(a[0]);
    if (v.Is(Kind::Date))
        return Value::String(DateTextIn(rt, v.AsDouble()));
    return Value::String(ToText(v));
}
Value CInt(Runtime&, Value* a, uint32_t) {
    return Value::Integer(ToInteger(NotNull(a[0])));
}
Value CLng(Runtime&, Value* a, uint32_t) {
    return Value::Long(ToLong(NotNull(a[0])));
}
Value CDbl(Runtime&, Value* a, uint32_t) {
    return Value::Double(ToDouble(NotNull(a[0])));
}
Value CBool(Runtime&, Value* a, uint32_t) {
    return Value::Bool(ToBool(NotNull(a[0])));
}
Value CByte(Runtime&, Value* a, uint32_t) {
    int32_t v = ToLong(NotNull(a[0]));
    if (v < 0 || v > 255)
        Throw(kErrOverflow);
    return Value::Byte(v);
}

Value Radix(const Value& in, int bits_per_digit) {
    Value p = Primitive(in);
    if (p.IsNull())
        return p;
    uint32_t n;
    if (p.Is(Kind::Integer) || p.IsEmpty() || p.Is(Kind::Boolean))
        n = uint16_t(ToLong(p));
    else
        n = uint32_t(ToLong(p));
    if (p.IsEmpty())
        n = 0;
    const char16_t* digits = u"0123456789ABCDEF";
    std::u16string out;
    unsigned mask = (1u << bits_per_digit) - 1;
    do {
        out.insert(out.begin(), digits[n & mask]);
        n >>= bits_per_digit;
    } while (n);
    return Value::String(std::move(out));
}
Value Hex(Runtime&, Value* a, uint32_t) {
    return Radix(a[0], 4);
}
Value Oct(Runtime&, Value* a, uint32_t) {
    return Radix(a[0], 3);
}

Value IsNull(Runtime&, Value* a, uint32_t) {
    return Value::Bool(a[0].Deref().IsNull());
}
Value IsEmpty(Runtime&, Value* a, uint32_t) {
    return Value::Bool(a[0].Deref().IsEmpty());
}
Value IsArray(Runtime&, Value* a, uint32_t) {
    return Value::Bool(a[0].Deref().Is(Kind::Array));
}
Value IsObject(Runtime&, Value* a, uint32_t) {
    return Value::Bool(a[0].Deref().IsObject());
}
Value IsNumeric(Runtime&, Value* a, uint32_t) {
    const Value& v = a[0].Deref();
    if (v.IsNumeric() && !v.Is(Kind::Date))
        return Value::Bool(true);
    if (v.IsString()) {
        double d;
        return Value::Bool(ParseNumber(v.AsString(), &d));
    }
    if (v.IsEmpty())
        return Value::Bool(true);
    return Value::Bool(false);
}
Value VarType(Runtime&, Value* a, uint32_t) {
    return Value::Integer(VarTypeOf(a[0]));
}
Value TypeName(Runtime&, Value* a, uint32_t) {
    return Value::String(TypeNameOf(a[0]));
}

const Builtin kConversions[] = {
    {u"cstr", 1, 1, CStr},
    {u"cint", 1, 1, CInt},
    {u"clng", 1, 1, CLng},
    {u"cdbl", 1, 1, CDbl},
    {u"cbool", 1, 1, CBool},
    {u"cbyte", 1, 1, CByte},
    {u"hex", 1, 1, Hex},
    {u"oct", 1, 1, Oct},
    {u"isnull", 1, 1, IsNull},
    {u"isempty", 1, 1, IsEmpty},
    {u"isarray", 1, 1, IsArray},
    {u"isobject", 1, 1, IsObject},
    {u"isnumeric", 1, 1, IsNumeric},
    {u"vartype", 1, 1, VarType},
    {u"typename", 1, 1, TypeName},
};

}  // namespace

std::span<const Builtin> ConversionBuiltins() {
    return kConversions;
}

}  // namespace kvvbs
