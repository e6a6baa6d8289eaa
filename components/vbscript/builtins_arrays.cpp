// Arrays: Array, Split, Join, UBound, LBound.
#include <string>

#include "builtins.h"
#include "convert.h"
#include "errors.h"
#include "lexer.h"

namespace kvvbs {
namespace {

Value MakeArray(std::vector<Value> items) {
    auto* rep = new ArrayRep();
    Value v = Value::AttachArray(rep);
    rep->upper.push_back(int32_t(items.size()) - 1);
    rep->items = std::move(items);
    rep->Account();
    return v;
}

Value ArrayOf(Runtime&, Value* a, uint32_t argc) {
    std::vector<Value> items;
    items.reserve(argc);
    for (uint32_t i = 0; i < argc; ++i)
        items.push_back(a[i].Deref());
    return MakeArray(std::move(items));
}

Value Split(Runtime&, Value* a, uint32_t argc) {
    // Split(expression[, delimiter[, count[, compare]]])
    if (a[0].Deref().IsNull())
        ThrowInvalidNull();
    std::u16string s = ToText(a[0]);
    std::u16string delim = argc > 1 && !a[1].Deref().IsMissing() ? ToText(a[1]) : u" ";
    int32_t count = argc > 2 && !a[2].Deref().IsMissing() ? ToLong(a[2]) : -1;
    bool text = argc > 3 && !a[3].Deref().IsMissing() && ToLong(a[3]) == 1;
    if (count < -1)
        Throw(kErrIllegalCall);
    std::vector<Value> parts;
    if (s.empty() || count == 0)
        return MakeArray({});
    if (delim.empty())
        return MakeArray({Value::String(s)});
    std::u16string hay = text ? LowerName(s) : s;
    std::u16string needle = text ? LowerName(delim) : delim;
    size_t at = 0;
    while (count == -1 || int32_t(parts.size()) < count - 1) {
        size_t hit = hay.find(needle, at);
        if (hit == std::u16string::npos)
            break;
        parts.push_back(Value::String(s.substr(at, hit - at)));
        at = hit + needle.size();
    }
    parts.push_back(Value::String(s.substr(at)));
    return MakeArray(std::move(parts));
}

Value Join(Runtime&, Value* a, uint32_t argc) {
    const Value& list = a[0].Deref();
    if (!list.Is(Kind::Array) || list.AsArray()->upper.size() > 1)
        Throw(kErrTypeMismatch);
    std::u16string delim = argc > 1 && !a[1].Deref().IsMissing() ? ToText(a[1]) : u" ";
    std::u16string out;
    bool first = true;
    for (const Value& item : list.AsArray()->items) {
        if (!first) {
            CheckTextLength(out.size() + delim.size());
            out += delim;
        }
        first = false;
        if (!item.IsNull()) {
            const std::u16string text = ToText(item);
            CheckTextLength(out.size() + text.size());
            out += text;
        }
    }
    return Value::String(std::move(out));
}

int32_t Dimension(const Value& list, const Value* which, uint32_t argc) {
    const Value& v = list.Deref();
    if (!v.Is(Kind::Array))
        Throw(kErrTypeMismatch);
    int32_t d = argc > 1 && !which->Deref().IsMissing() ? ToLong(*which) : 1;
    if (d < 1 || size_t(d) > v.AsArray()->upper.size())
        Throw(kErrSubscript);
    return d;
}

Value UBound(Runtime&, Value* a, uint32_t argc) {
    int32_t d = Dimension(a[0], &a[1], argc);
    return Value::Long(a[0].Deref().AsArray()->upper[size_t(d - 1)]);
}

Value LBound(Runtime&, Value* a, uint32_t argc) {
    Dimension(a[0], &a[1], argc);
    return Value::Long(0);
}

const Builtin kArrays[] = {
    {u"array", 0, 255, ArrayOf}, {u"split", 1, 4, Split},   {u"join", 1, 2, Join},
    {u"ubound", 1, 2, UBound},   {u"lbound", 1, 2, LBound},
};

}  // namespace

std::span<const Builtin> ArrayBuiltins() {
    return kArrays;
}

}  // namespace kvvbs
