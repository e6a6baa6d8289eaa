// The formatting engine: one walk over the format for both character types.
#include "format_engine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "kvwin/utf.h"

namespace kvwin::text {

namespace {

using Kind = FormatArg::Kind;

struct Directive {
    bool minus = false;
    bool plus = false;
    bool space = false;
    bool hash = false;
    bool zero = false;
    int width = 0;
    int precision = -1;  // -1: none
    int bits = 32;       // integer size named by the length modifier
    int text_width = 0;  // for s/c: 'h' narrow (1), 'l'/'w' wide (2), 0 as the conversion says
    char conversion = 0;
};

template <class Ch>
void Append(std::basic_string<Ch>& out, std::string_view ascii) {
    for (char c : ascii)
        out.push_back(static_cast<Ch>(static_cast<unsigned char>(c)));
}

// Pads `body` to the width: spaces on the left or right, or zeros on the left (the
// Windows CRT zero-pads text and characters too when asked).
template <class Ch>
void EmitPadded(std::basic_string<Ch>& out, const Directive& directive,
                const std::basic_string<Ch>& body) {
    const size_t width = directive.width > 0 ? static_cast<size_t>(directive.width) : 0;
    const size_t pad = body.size() < width ? width - body.size() : 0;
    if (directive.minus) {
        out += body;
        out.append(pad, Ch(' '));
    } else {
        out.append(pad, directive.zero ? Ch('0') : Ch(' '));
        out += body;
    }
}

uint64_t RawBits(const FormatArg& a) {
    return a.kind == Kind::Signed ? static_cast<uint64_t>(a.i) : a.u;
}

template <class Ch>
void EmitInteger(std::basic_string<Ch>& out, const Directive& directive, uint64_t raw) {
    const char conv = directive.conversion;
    const bool is_signed = conv == 'd' || conv == 'i';
    const uint64_t mask =
        directive.bits >= 64 ? ~uint64_t{0} : ((uint64_t{1} << directive.bits) - 1);
    uint64_t magnitude = raw & mask;
    bool negative = false;
    if (is_signed && directive.bits < 64 && (magnitude >> (directive.bits - 1)) & 1) {
        negative = true;
        magnitude = ((~magnitude) & mask) + 1;
    } else if (is_signed && directive.bits >= 64 && static_cast<int64_t>(magnitude) < 0) {
        negative = true;
        magnitude = 0 - magnitude;
    }
    const unsigned base = conv == 'o' ? 8 : ((conv == 'x' || conv == 'X') ? 16 : 10);
    const char* digits = conv == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    char buf[72];
    int n = 0;
    for (uint64_t v = magnitude; v; v /= base)
        buf[n++] = digits[v % base];
    std::string number(buf, buf + n);
    std::reverse(number.begin(), number.end());
    if (directive.precision >= 0) {
        if (directive.precision == 0 && magnitude == 0)
            number.clear();
        if (number.size() < static_cast<size_t>(directive.precision)) {
            number.insert(0, static_cast<size_t>(directive.precision) - number.size(), '0');
        }
    } else if (number.empty()) {
        number = "0";
    }
    std::string prefix;
    if (is_signed) {
        if (negative) {
            prefix = "-";
        } else if (directive.plus) {
            prefix = "+";
        } else if (directive.space) {
            prefix = " ";
        }
    } else if (directive.hash && base == 16 && magnitude != 0) {
        prefix = conv == 'X' ? "0X" : "0x";
    } else if (directive.hash && base == 8 && (number.empty() || number[0] != '0')) {
        number.insert(0, "0");
    }
    const size_t width = directive.width > 0 ? static_cast<size_t>(directive.width) : 0;
    const size_t used = prefix.size() + number.size();
    if (directive.zero && !directive.minus && directive.precision < 0 && used < width) {
        number.insert(0, width - used, '0');
    }
    std::basic_string<Ch> body;
    Append(body, prefix);
    Append(body, number);
    Directive spaces = directive;
    spaces.zero = false;
    EmitPadded(out, spaces, body);
}

template <class Ch>
void EmitPointer(std::basic_string<Ch>& out, const Directive& directive, const void* p) {
    char buf[20];
    std::snprintf(buf, sizeof buf, "%016llX",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
    std::basic_string<Ch> body;
    Append(body, buf);
    Directive spaces = directive;
    spaces.zero = false;
    EmitPadded(out, spaces, body);
}

template <class Ch>
void EmitFloat(std::basic_string<Ch>& out, const Directive& directive, double value) {
    std::string f = "%";
    if (directive.minus)
        f += '-';
    if (directive.plus)
        f += '+';
    if (directive.space)
        f += ' ';
    if (directive.hash)
        f += '#';
    if (directive.zero)
        f += '0';
    if (directive.width > 0)
        f += std::to_string(directive.width);
    if (directive.precision >= 0)
        f += "." + std::to_string(directive.precision);
    f += directive.conversion;
    const int n = std::snprintf(nullptr, 0, f.c_str(), value);
    if (n <= 0)
        return;
    std::string text(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(text.data(), text.size(), f.c_str(), value);
    text.resize(static_cast<size_t>(n));
    Append(out, text);
}

size_t BoundedLength(const char* s, size_t max) {
    size_t n = 0;
    while (n < max && s[n])
        ++n;
    return n;
}
size_t BoundedLength(const WCHAR* s, size_t max) {
    size_t n = 0;
    while (n < max && s[n])
        ++n;
    return n;
}

// Cuts converted text to `limit` units without splitting a character.
void CutWhole(std::string& s, size_t limit) {
    if (s.size() <= limit)
        return;
    while (limit > 0 && (static_cast<unsigned char>(s[limit]) & 0xC0) == 0x80)
        --limit;
    s.resize(limit);
}
void CutWhole(WString& s, size_t limit) {
    if (s.size() <= limit)
        return;
    if (limit > 0 && s[limit - 1] >= 0xD800 && s[limit - 1] <= 0xDBFF)
        --limit;
    s.resize(limit);
}

WString Convert(std::string_view s, WCHAR) {
    return FromUtf8(s);
}
std::string Convert(WStringView s, char) {
    return ToUtf8(s);
}

// Text of character type `Src` into output of type `Ch`.
template <class Ch, class Src>
void EmitText(std::basic_string<Ch>& out, const Directive& directive, const Src* s, size_t length) {
    static constexpr Src kNull[] = {'(', 'n', 'u', 'l', 'l', ')', 0};
    if (!s) {
        s = kNull;
        length = FormatArg::npos;
    }
    const bool limited = directive.precision >= 0;
    const size_t precision = limited ? static_cast<size_t>(directive.precision) : 0;
    if constexpr (std::is_same_v<Ch, Src>) {
        size_t n =
            length != FormatArg::npos ? length : BoundedLength(s, limited ? precision : SIZE_MAX);
        if (limited && n > precision)
            n = precision;
        EmitPadded(out, directive, std::basic_string<Ch>(s, n));
    } else {
        // Enough source for `precision` output units: a unit takes at most three bytes of
        // UTF-8, a byte at most one UTF-16 unit (plus room so a pair is not split).
        size_t scan = SIZE_MAX;
        if (limited)
            scan = std::is_same_v<Src, char> ? precision * 3 + 4 : precision + 2;
        size_t n = length != FormatArg::npos ? length : BoundedLength(s, scan);
        if (n > scan)
            n = scan;
        std::basic_string<Ch> converted = Convert(std::basic_string_view<Src>(s, n), Ch{});
        if (limited)
            CutWhole(converted, precision);
        EmitPadded(out, directive, converted);
    }
}

template <class Ch>
void EmitChar(std::basic_string<Ch>& out, const Directive& directive, uint64_t raw,
              bool wide_argument) {
    std::basic_string<Ch> body;
    if (wide_argument) {
        const auto c = static_cast<WCHAR>(raw);
        if constexpr (std::is_same_v<Ch, WCHAR>) {
            body.push_back(c);
        } else {
            body = ToUtf8(WStringView(&c, 1));
        }
    } else {
        // A narrow character stands for itself: ASCII, or the Latin-1 character of its value.
        const auto byte = static_cast<unsigned char>(raw);
        if constexpr (std::is_same_v<Ch, WCHAR>) {
            body.push_back(byte);
        } else {
            body.push_back(static_cast<char>(byte));
        }
    }
    EmitPadded(out, directive, body);
}

template <class Ch>
bool IsDigitChar(Ch c) {
    return c >= Ch('0') && c <= Ch('9');
}

template <class Ch>
void EmitMarker(std::basic_string<Ch>& out, const Ch* directive_begin, const Ch* directive_end,
                std::string_view before, std::string_view after) {
    Append(out, before);
    out.append(directive_begin, directive_end);
    Append(out, after);
}

}  // namespace

bool CheckedArguments::Next(Wanted wanted, int, FormatArg& out, const char*& given) {
    if (next_ >= count_) {
        given = "no argument";
        return false;
    }
    const FormatArg& a = args_[next_++];
    bool fits = false;
    switch (wanted) {
        case Wanted::Integer:
        case Wanted::NarrowChar:
        case Wanted::WideChar:
            fits = a.kind == Kind::Signed || a.kind == Kind::Unsigned;
            break;
        case Wanted::Float:
            fits = a.kind == Kind::Float;
            break;
        case Wanted::NarrowText:
            fits = a.kind == Kind::NarrowText || a.kind == Kind::Null;
            break;
        case Wanted::WideText:
            fits = a.kind == Kind::WideText || a.kind == Kind::Null;
            break;
        case Wanted::Pointer:
            fits = a.kind == Kind::Pointer || a.kind == Kind::NarrowText ||
                   a.kind == Kind::WideText || a.kind == Kind::Null;
            break;
    }
    if (fits) {
        out = a;
        return true;
    }
    switch (a.kind) {
        case Kind::Signed:
            given = "int";
            break;
        case Kind::Unsigned:
            given = "unsigned";
            break;
        case Kind::Float:
            given = "double";
            break;
        case Kind::NarrowText:
            given = "narrow text";
            break;
        case Kind::WideText:
            given = "wide text";
            break;
        case Kind::Pointer:
            given = "pointer";
            break;
        case Kind::Null:
            given = "nullptr";
            break;
    }
    return false;
}

template <class Ch>
bool FormatInto(std::basic_string<Ch>& out, const Ch* format, ArgumentSource& args) {
    constexpr bool kWideFormat = std::is_same_v<Ch, WCHAR>;
    const Ch* p = format;
    while (*p) {
        if (*p != Ch('%')) {
            const Ch* literal = p;
            while (*p && *p != Ch('%'))
                ++p;
            out.append(literal, static_cast<size_t>(p - literal));
            continue;
        }
        const Ch* directive_begin = p++;
        Directive directive;
        // A '*' fetches an int; a mismatch there spoils the whole conversion.
        bool argument_failed = false;
        const char* given = nullptr;
        auto star = [&](int& target, bool is_width) {
            FormatArg a;
            const char* star_given = nullptr;
            if (!args.Next(Wanted::Integer, 32, a, star_given)) {
                if (!argument_failed)
                    given = star_given;
                argument_failed = true;
                return;
            }
            auto v = static_cast<int32_t>(static_cast<uint32_t>(RawBits(a)));
            if (is_width && v < 0) {
                directive.minus = true;
                v = v == INT32_MIN ? INT32_MAX : -v;
            }
            target = v < 0 ? -1 : v;
        };
        for (;; ++p) {
            if (*p == Ch('-')) {
                directive.minus = true;
            } else if (*p == Ch('+')) {
                directive.plus = true;
            } else if (*p == Ch(' ')) {
                directive.space = true;
            } else if (*p == Ch('#')) {
                directive.hash = true;
            } else if (*p == Ch('0')) {
                directive.zero = true;
            } else {
                break;
            }
        }
        if (*p == Ch('*')) {
            star(directive.width, true);
            ++p;
        } else {
            for (; IsDigitChar(*p); ++p) {
                directive.width = directive.width < 100000 ? directive.width * 10 + (*p - Ch('0'))
                                                           : directive.width;
            }
        }
        if (*p == Ch('.')) {
            ++p;
            directive.precision = 0;
            if (*p == Ch('*')) {
                star(directive.precision, false);  // consumed even after a failed width
                ++p;
            } else {
                for (; IsDigitChar(*p); ++p) {
                    directive.precision = directive.precision < 100000
                                              ? directive.precision * 10 + (*p - Ch('0'))
                                              : directive.precision;
                }
            }
        }
        // Length modifiers.
        if (*p == Ch('h')) {
            directive.text_width = 1;
            directive.bits = 16;
            if (*++p == Ch('h')) {
                directive.bits = 8;
                ++p;
            }
        } else if (*p == Ch('l')) {
            directive.text_width = 2;
            if (*++p == Ch('l')) {
                directive.bits = 64;
                ++p;
            }
        } else if (*p == Ch('w')) {
            directive.text_width = 2;
            ++p;
        } else if (*p == Ch('L') || *p == Ch('z') || *p == Ch('j') || *p == Ch('t')) {
            directive.bits = 64;
            ++p;
        } else if (*p == Ch('I')) {
            ++p;
            directive.bits = 64;
            if (p[0] == Ch('6') && p[1] == Ch('4')) {
                p += 2;
            } else if (p[0] == Ch('3') && p[1] == Ch('2')) {
                directive.bits = 32;
                p += 2;
            }
        }
        const Ch conv = *p;
        const bool known = conv != 0 && conv < 0x80 &&
                           std::strchr("diouxXcCsSpeEfFgGaA%", static_cast<char>(conv));
        if (!known) {
            if (!args.Checked())
                return false;
            if (conv)
                ++p;
            EmitMarker(out, directive_begin, p, "<bad format ", ">");
            continue;
        }
        ++p;
        directive.conversion = static_cast<char>(conv);
        if (conv == Ch('%')) {
            out.push_back(Ch('%'));
            continue;
        }
        // Which text or character width a s/c/S/C conversion takes.
        const bool upper = conv == Ch('S') || conv == Ch('C');
        const bool wide_argument =
            directive.text_width == 2 ||
            (directive.text_width == 0 && (upper ? !kWideFormat : kWideFormat));
        Wanted wanted;
        switch (directive.conversion) {
            case 'd':
            case 'i':
            case 'o':
            case 'u':
            case 'x':
            case 'X':
                wanted = Wanted::Integer;
                break;
            case 'c':
            case 'C':
                wanted = wide_argument ? Wanted::WideChar : Wanted::NarrowChar;
                break;
            case 's':
            case 'S':
                wanted = wide_argument ? Wanted::WideText : Wanted::NarrowText;
                break;
            case 'p':
                wanted = Wanted::Pointer;
                break;
            default:
                wanted = Wanted::Float;
                break;
        }
        // The argument is consumed even after a failed '*', so later ones still line up.
        FormatArg a;
        const char* value_given = nullptr;
        const bool fetched = args.Next(wanted, directive.bits, a, value_given);
        if (!argument_failed)
            given = value_given;
        if (argument_failed || !fetched) {
            EmitMarker(out, directive_begin, p, "<", std::string(" got ") + given + ">");
            continue;
        }
        switch (wanted) {
            case Wanted::Integer:
                EmitInteger(out, directive, RawBits(a));
                break;
            case Wanted::Float:
                EmitFloat(out, directive, a.d);
                break;
            case Wanted::NarrowChar:
            case Wanted::WideChar:
                EmitChar(out, directive, RawBits(a), wanted == Wanted::WideChar);
                break;
            case Wanted::NarrowText:
                EmitText(out, directive,
                         static_cast<const char*>(a.kind == Kind::Null ? nullptr : a.p), a.length);
                break;
            case Wanted::WideText:
                EmitText(out, directive,
                         static_cast<const WCHAR*>(a.kind == Kind::Null ? nullptr : a.p), a.length);
                break;
            case Wanted::Pointer:
                EmitPointer(out, directive, a.p);
                break;
        }
    }
    return true;
}

template bool FormatInto<char>(std::string&, const char*, ArgumentSource&);
template bool FormatInto<WCHAR>(WString&, const WCHAR*, ArgumentSource&);

}  // namespace kvwin::text
