// String functions: Len, Left, Right, Mid, InStr, InStrRev, LCase, UCase, Trim, LTrim,
// RTrim, Replace, Space, String, StrComp, StrReverse, Chr, ChrW, Asc, AscW, Filter, Escape,
// Unescape, and the byte forms LenB, LeftB, RightB, MidB, InStrB, AscB, ChrB.
#include <optional>
#include <string>
#include <vector>

#include "kvwin/ascii_case.h"
#include "kvwin/hex_digit.h"
#include "win/text.h"

#include "builtins.h"
#include "convert.h"
#include "errors.h"
#include "operators.h"

namespace kvvbs {
namespace {

bool AnyNull(const Value* args, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
        if (args[i].Deref().IsNull())
            return true;
    }
    return false;
}

int32_t Count(const Value& v) {
    int32_t n = ToLong(v);
    if (n < 0)
        Throw(kErrIllegalCall);
    return n;
}

bool IsBlank(char16_t c) {
    return c == u' ';
}

// Position (0-based) of needle in hay from start, or npos; text compare ignores case.
size_t Find(std::u16string_view hay, std::u16string_view needle, size_t start, bool text) {
    if (!text)
        return hay.find(needle, start);
    if (needle.size() > hay.size())
        return std::u16string_view::npos;
    for (size_t i = start; i + needle.size() <= hay.size(); ++i) {
        size_t k = 0;
        while (k < needle.size() && kvwin::AsciiLower(hay[i + k]) == kvwin::AsciiLower(needle[k]))
            ++k;
        if (k == needle.size())
            return i;
    }
    return std::u16string_view::npos;
}

bool TextMode(const Value& v) {
    return !v.Deref().IsMissing() && ToLong(v) == 1;
}

Value Len(Runtime&, Value* a, uint32_t) {
    if (a[0].Deref().IsNull())
        return Value::Null();
    return Value::Long(int32_t(ToText(a[0]).size()));
}

Value Left(Runtime&, Value* a, uint32_t) {
    if (a[0].Deref().IsNull())
        return Value::Null();
    std::u16string s = ToText(a[0]);
    size_t n = size_t(Count(a[1]));
    return Value::String(s.substr(0, n));
}

Value Right(Runtime&, Value* a, uint32_t) {
    if (a[0].Deref().IsNull())
        return Value::Null();
    std::u16string s = ToText(a[0]);
    size_t n = size_t(Count(a[1]));
    return Value::String(n >= s.size() ? s : s.substr(s.size() - n));
}

// Mid(text, start[, length]) and MidB over a text of `size` units: where the part begins
// and how many units it takes at most; nullopt when it begins past the end (the length is
// then not looked at).
struct MidPart {
    size_t from;
    size_t count;
};
std::optional<MidPart> MidArguments(Value* a, uint32_t argc, size_t size) {
    int32_t start = ToLong(a[1]);
    if (start < 1)
        Throw(kErrIllegalCall);
    size_t from = size_t(start - 1);
    if (from >= size)
        return std::nullopt;
    size_t n = argc > 2 && !a[2].Deref().IsMissing() ? size_t(Count(a[2])) : size;
    return MidPart{from, n};
}

Value Mid(Runtime&, Value* a, uint32_t argc) {
    if (a[0].Deref().IsNull())
        return Value::Null();
    std::u16string s = ToText(a[0]);
    const std::optional<MidPart> part = MidArguments(a, argc, s.size());
    if (!part)
        return Value::String(u"");
    return Value::String(s.substr(part->from, part->count));
}

// The Mid statement: a[0] refers to the variable; at most length characters (and never
// past its end) are replaced by the text's first characters.
Value MidStatement(Runtime&, Value* a, uint32_t) {
    Value& target = a[0].Deref();
    if (target.IsNull())
        ThrowInvalidNull();
    std::u16string s = ToText(target);
    int32_t start = ToLong(a[1]);
    if (start < 1 || size_t(start) > s.size())
        Throw(kErrIllegalCall);
    std::u16string text = ToText(a[3]);
    size_t room = s.size() - size_t(start - 1);
    size_t n = std::min(room, text.size());
    if (!a[2].Deref().IsMissing())
        n = std::min(n, size_t(Count(a[2])));
    s.replace(size_t(start - 1), n, text.substr(0, n));
    target = Value::String(std::move(s));
    return Value();
}

// InStr([start,] string1, string2[, compare]) and InStrB, their arguments read.
struct InStrArguments {
    size_t start = 0;
    const Value* hay;
    const Value* needle;
    bool text = false;
};
InStrArguments ReadInStrArguments(Value* a, uint32_t argc) {
    InStrArguments args{0, &a[0], &a[1], false};
    if (argc >= 3) {
        if (a[0].Deref().IsNull())
            ThrowInvalidNull();
        int32_t s = ToLong(a[0]);
        if (s < 1)
            Throw(kErrIllegalCall);
        args.start = size_t(s - 1);
        args.hay = &a[1];
        args.needle = &a[2];
        if (argc == 4)
            args.text = TextMode(a[3]);
    }
    return args;
}

Value InStr(Runtime&, Value* a, uint32_t argc) {
    const InStrArguments args = ReadInStrArguments(a, argc);
    const size_t start = args.start;
    const bool text = args.text;
    if (args.hay->Deref().IsNull() || args.needle->Deref().IsNull())
        return Value::Null();
    std::u16string h = ToText(*args.hay), n = ToText(*args.needle);
    if (start > h.size())
        return Value::Long(0);
    if (n.empty())
        return Value::Long(int32_t(start + 1));
    size_t at = Find(h, n, start, text);
    return Value::Long(at == std::u16string::npos ? 0 : int32_t(at + 1));
}

Value InStrRev(Runtime&, Value* a, uint32_t argc) {
    // InStrRev(string1, string2[, start[, compare]])
    if (AnyNull(a, 2))
        return Value::Null();
    std::u16string h = ToText(a[0]), n = ToText(a[1]);
    int32_t start = argc > 2 && !a[2].Deref().IsMissing() ? ToLong(a[2]) : -1;
    if (start == 0 || start < -1)
        Throw(kErrIllegalCall);
    bool text = argc > 3 && TextMode(a[3]);
    size_t limit = start == -1 ? h.size() : size_t(start);
    if (limit > h.size())
        return Value::Long(0);
    if (n.empty())
        return Value::Long(int32_t(limit));
    for (size_t i = limit >= n.size() ? limit - n.size() + 1 : 0; i-- > 0;) {
        if (Find(std::u16string_view(h).substr(i, n.size()), n, 0, text) == 0)
            return Value::Long(int32_t(i + 1));
    }
    return Value::Long(0);
}

// LCase and UCase map every character with a simple case mapping in Unicode.
Value LCase(Runtime&, Value* a, uint32_t) {
    if (a[0].Deref().IsNull())
        return Value::Null();
    std::u16string s = ToText(a[0]);
    if (!s.empty())
        CharLowerBuffW(s.data(), DWORD(s.size()));
    return Value::String(std::move(s));
}

Value UCase(Runtime&, Value* a, uint32_t) {
    if (a[0].Deref().IsNull())
        return Value::Null();
    std::u16string s = ToText(a[0]);
    if (!s.empty())
        CharUpperBuffW(s.data(), DWORD(s.size()));
    return Value::String(std::move(s));
}

Value TrimSides(const Value& v, bool left, bool right) {
    if (v.Deref().IsNull())
        return Value::Null();
    std::u16string s = ToText(v);
    size_t b = 0, e = s.size();
    while (left && b < e && IsBlank(s[b]))
        ++b;
    while (right && e > b && IsBlank(s[e - 1]))
        --e;
    return Value::String(s.substr(b, e - b));
}
Value Trim(Runtime&, Value* a, uint32_t) {
    return TrimSides(a[0], true, true);
}
Value LTrim(Runtime&, Value* a, uint32_t) {
    return TrimSides(a[0], true, false);
}
Value RTrim(Runtime&, Value* a, uint32_t) {
    return TrimSides(a[0], false, true);
}

Value Replace(Runtime&, Value* a, uint32_t argc) {
    // Replace(expression, find, replacewith[, start[, count[, compare]]])
    if (AnyNull(a, 3))
        return Value::Null();
    std::u16string s = ToText(a[0]), find = ToText(a[1]), with = ToText(a[2]);
    int32_t start = argc > 3 && !a[3].Deref().IsMissing() ? ToLong(a[3]) : 1;
    int32_t count = argc > 4 && !a[4].Deref().IsMissing() ? ToLong(a[4]) : -1;
    bool text = argc > 5 && TextMode(a[5]);
    if (start < 1 || count < -1)
        Throw(kErrIllegalCall);
    if (size_t(start - 1) > s.size())
        return Value::String(u"");
    std::u16string_view rest = std::u16string_view(s).substr(size_t(start - 1));
    if (find.empty() || count == 0)
        return Value::String(rest);
    std::u16string out;
    size_t at = 0;
    for (int32_t done = 0; count == -1 || done < count; ++done) {
        size_t hit = Find(rest, find, at, text);
        if (hit == std::u16string_view::npos)
            break;
        CheckTextLength(out.size() + (hit - at) + with.size());
        out.append(rest.substr(at, hit - at));
        out.append(with);
        at = hit + find.size();
    }
    CheckTextLength(out.size() + (rest.size() - at));
    out.append(rest.substr(at));
    return Value::String(std::move(out));
}

Value Space(Runtime&, Value* a, uint32_t) {
    int32_t n = Count(a[0]);
    if (n > (1 << 26))
        Throw(kErrOutOfMemory);
    return Value::String(std::u16string(size_t(n), u' '));
}

Value String(Runtime&, Value* a, uint32_t) {
    if (AnyNull(a, 2))
        return Value::Null();
    int32_t n = Count(a[0]);
    if (n > (1 << 26))
        Throw(kErrOutOfMemory);
    const Value& c = a[1].Deref();
    char16_t ch;
    if (c.IsString()) {
        if (c.AsString().empty())
            Throw(kErrIllegalCall);
        ch = c.AsString()[0];
    } else {
        ch = char16_t(ToLong(c) & 0xFF);
    }
    return Value::String(std::u16string(size_t(n), ch));
}

Value StrComp(Runtime&, Value* a, uint32_t argc) {
    if (AnyNull(a, 2))
        return Value::Null();
    bool text = argc > 2 && TextMode(a[2]);
    Value l = Value::String(ToText(a[0])), r = Value::String(ToText(a[1]));
    return Value::Integer(Compare(l, r, 0, text));
}

Value StrReverse(Runtime&, Value* a, uint32_t) {
    if (a[0].Deref().IsNull())
        ThrowInvalidNull();
    std::u16string s = ToText(a[0]);
    return Value::String(std::u16string(s.rbegin(), s.rend()));
}

Value Chr(Runtime&, Value* a, uint32_t) {
    int32_t c = ToLong(a[0]);
    if (c < 0 || c > 255)
        Throw(kErrIllegalCall);
    // Codes 128-255 are taken as Latin-1.
    return Value::String(std::u16string(1, char16_t(c)));
}

Value ChrW(Runtime&, Value* a, uint32_t) {
    int32_t c = ToLong(a[0]);
    if (c < -32768 || c > 65535)
        Throw(kErrIllegalCall);
    return Value::String(std::u16string(1, char16_t(c & 0xFFFF)));
}

Value Asc(Runtime&, Value* a, uint32_t) {
    std::u16string s = ToText(a[0]);
    if (s.empty())
        Throw(kErrIllegalCall);
    return Value::Integer(s[0] < 256 ? s[0] : u'?');
}

Value AscW(Runtime&, Value* a, uint32_t) {
    std::u16string s = ToText(a[0]);
    if (s.empty())
        Throw(kErrIllegalCall);
    return Value::Integer(int16_t(s[0]));
}

// The byte functions see a text as its storage: each unit little-endian, then the odd last
// byte of a text that has one (ChrB's, or a byte function's result).
std::string BytesOf(const Value& in) {
    const Value& v = in.Deref();
    return v.IsString() ? v.StringBytes() : Value::String(ToText(v)).StringBytes();
}

Value LenB(Runtime&, Value* a, uint32_t) {
    if (a[0].Deref().IsNull())
        return Value::Null();
    return Value::Long(int32_t(BytesOf(a[0]).size()));
}

Value LeftB(Runtime&, Value* a, uint32_t) {
    if (a[0].Deref().IsNull())
        return Value::Null();
    std::string b = BytesOf(a[0]);
    return Value::Bytes(std::string_view(b).substr(0, size_t(Count(a[1]))));
}

Value RightB(Runtime&, Value* a, uint32_t) {
    if (a[0].Deref().IsNull())
        return Value::Null();
    std::string b = BytesOf(a[0]);
    size_t n = size_t(Count(a[1]));
    return Value::Bytes(n >= b.size() ? std::string_view(b)
                                      : std::string_view(b).substr(b.size() - n));
}

Value MidB(Runtime&, Value* a, uint32_t argc) {
    if (a[0].Deref().IsNull())
        return Value::Null();
    std::string b = BytesOf(a[0]);
    const std::optional<MidPart> part = MidArguments(a, argc, b.size());
    if (!part)
        return Value::String(u"");
    return Value::Bytes(std::string_view(b).substr(part->from, part->count));
}

Value InStrB(Runtime&, Value* a, uint32_t argc) {
    // Byte positions; bytes compare as they are (the compare argument is only checked).
    const InStrArguments args = ReadInStrArguments(a, argc);
    const size_t start = args.start;
    if (args.hay->Deref().IsNull() || args.needle->Deref().IsNull())
        return Value::Null();
    std::string h = BytesOf(*args.hay), n = BytesOf(*args.needle);
    if (start > h.size())
        return Value::Long(0);
    if (n.empty())
        return Value::Long(int32_t(start + 1));
    size_t at = h.find(n, start);
    return Value::Long(at == std::string::npos ? 0 : int32_t(at + 1));
}

Value AscB(Runtime&, Value* a, uint32_t) {
    std::string b = BytesOf(a[0]);
    if (b.empty())
        Throw(kErrIllegalCall);
    return Value::Integer(uint8_t(b[0]));
}

Value ChrB(Runtime&, Value* a, uint32_t) {
    int32_t c = ToLong(a[0]);
    if (c < 0 || c > 255)
        Throw(kErrIllegalCall);
    const char byte = char(c);
    return Value::Bytes(std::string_view(&byte, 1));
}

// Filter(strings, value[, include[, compare]]): the elements of a one-dimensional array
// that contain value (include True, the default) or do not.
Value Filter(Runtime&, Value* a, uint32_t argc) {
    const Value& list = a[0].Deref();
    if (list.IsNull() || a[1].Deref().IsNull())
        ThrowInvalidNull();
    if (!list.Is(Kind::Array))
        Throw(kErrTypeMismatch);
    const ArrayRep& rep = *list.AsArray();
    if (rep.upper.size() != 1)
        Throw(kErrTypeMismatch);
    std::u16string value = ToText(a[1]);
    bool include = argc < 3 || a[2].Deref().IsMissing() || ToBool(a[2]);
    bool text = argc > 3 && TextMode(a[3]);
    std::vector<Value> kept;
    for (const Value& item : rep.items) {
        if (item.Deref().IsNull())
            ThrowInvalidNull();
        // A text element is kept as it is (sharing its buffer): an array holding one long
        // text many times must not be copied out element by element.
        const Value& element = item.Deref();
        const Value converted = element.IsString() ? Value() : Value::String(ToText(element));
        const std::u16string_view s =
            element.IsString() ? element.AsString() : converted.AsString();
        bool has = value.empty() || Find(s, value, 0, text) != std::u16string::npos;
        if (has == include)
            kept.push_back(element.IsString() ? element : converted);
    }
    auto* out = new ArrayRep();
    Value result = Value::AttachArray(out);
    out->upper.push_back(int32_t(kept.size()) - 1);
    out->items = std::move(kept);
    out->Account();
    return result;
}

// Escape: letters, digits and @*_+-./ stay; other code units below 256 become %XX, the
// rest %uXXXX.
Value Escape(Runtime&, Value* a, uint32_t) {
    if (a[0].Deref().IsNull())
        return Value::Null();
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    static constexpr std::u16string_view kKept = u"@*_+-./";
    std::u16string s = ToText(a[0]), out;
    out.reserve(s.size());
    for (char16_t c : s) {
        CheckTextLength(out.size() + 6);  // the longest form, %uXXXX
        bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                     (c >= u'0' && c <= u'9') || kKept.find(c) != std::u16string_view::npos;
        if (plain) {
            out += c;
        } else if (c < 256) {
            out += {u'%', kHex[c >> 4], kHex[c & 15]};
        } else {
            out +=
                {u'%', u'u', kHex[c >> 12], kHex[(c >> 8) & 15], kHex[(c >> 4) & 15], kHex[c & 15]};
        }
    }
    return Value::String(std::move(out));
}

// The code unit of `digits` hex digits at s[at], or -1.
int32_t HexAt(std::u16string_view s, size_t at, size_t digits) {
    if (at + digits > s.size())
        return -1;
    int32_t n = 0;
    for (size_t k = 0; k < digits; ++k) {
        int d = kvwin::HexDigitValue(s[at + k]);
        if (d < 0)
            return -1;
        n = n * 16 + d;
    }
    return n;
}

// Unescape: %XX and %uXXXX become their code units; anything else stays as it is.
Value Unescape(Runtime&, Value* a, uint32_t) {
    if (a[0].Deref().IsNull())
        return Value::Null();
    std::u16string s = ToText(a[0]), out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == u'%') {
            int32_t u = i + 1 < s.size() && s[i + 1] == u'u' ? HexAt(s, i + 2, 4) : -1;
            if (u >= 0) {
                out += char16_t(u);
                i += 5;
                continue;
            }
            int32_t x = HexAt(s, i + 1, 2);
            if (x >= 0) {
                out += char16_t(x);
                i += 2;
                continue;
            }
        }
        out += s[i];
    }
    return Value::String(std::move(out));
}

const Builtin kStrings[] = {
    {u"len", 1, 1, Len},
    {u"left", 2, 2, Left},
    {u"right", 2, 2, Right},
    {u"mid", 2, 3, Mid},
    {u"instr", 2, 4, InStr},
    {u"instrrev", 2, 4, InStrRev},
    {u"lcase", 1, 1, LCase},
    {u"ucase", 1, 1, UCase},
    {u"trim", 1, 1, Trim},
    {u"ltrim", 1, 1, LTrim},
    {u"rtrim", 1, 1, RTrim},
    {u"replace", 3, 6, Replace},
    {u"space", 1, 1, Space},
    {u"string", 2, 2, String},
    {u"strcomp", 2, 3, StrComp},
    {u"strreverse", 1, 1, StrReverse},
    {u"chr", 1, 1, Chr},
    {u"chrw", 1, 1, ChrW},
    {u"mid statement", 4, 4, MidStatement},  // not a name a script can write
    {u"asc", 1, 1, Asc},
    {u"ascw", 1, 1, AscW},
    {u"filter", 2, 4, Filter},
    {u"escape", 1, 1, Escape},
    {u"unescape", 1, 1, Unescape},
    {u"lenb", 1, 1, LenB},
    {u"leftb", 2, 2, LeftB},
    {u"rightb", 2, 2, RightB},
    {u"midb", 2, 3, MidB},
    {u"instrb", 2, 4, InStrB},
    {u"ascb", 1, 1, AscB},
    {u"chrb", 1, 1, ChrB},
};

}  // namespace

std::span<const Builtin> StringBuiltins() {
    return kStrings;
}

}  // namespace kvvbs
