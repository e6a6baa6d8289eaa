// FormatMessageW and FormatMessageA: finding a message and expanding its inserts.
#include <cstring>
#include <string>
#include <vector>

#include "kvwin/format.h"
#include "kvwin/message_text.h"
#include "kvwin/utf.h"
#include "module_tables.h"
#include "win/errors.h"
#include "win/memory.h"
#include "win/messages.h"
#include "win/text.h"

namespace kvwin::messages {

namespace {

constexpr size_t kMaxAllocatedBytes = 128 * 1024;
constexpr int kMaxInsert = 99;

std::u16string AnsiToWide(const char* text, size_t length) {
    if (length == 0)
        return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
    std::u16string out(n > 0 ? static_cast<size_t>(n) : 0, u'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), out.data(), n);
    return out;
}

std::string WideToAnsi(const std::u16string& text) {
    if (text.empty())
        return {};
    const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                            nullptr, nullptr);
    return out;
}

// How an argument sits in a va_list.
enum class ArgType : uint8_t { Unknown, Int32, Int64, Double };

// One insert's "!fmt!" directive, taken apart.
struct Directive {
    std::u16string flags;
    bool width_star = false, precision_star = false;
    std::u16string width, precision;  // digits as written
    std::u16string length;            // h hh l ll I I32 I64 w z j t L
    char16_t conversion = u's';
};

bool ParseDirective(std::u16string_view text, Directive& directive) {
    size_t i = 0;
    const auto digits = [&](std::u16string& out) {
        while (i < text.size() && text[i] >= u'0' && text[i] <= u'9')
            out.push_back(text[i++]);
    };
    while (i < text.size() && std::u16string_view(u"-+ #0").find(text[i]) != std::u16string::npos)
        directive.flags.push_back(text[i++]);
    if (i < text.size() && text[i] == u'*') {
        directive.width_star = true;
        ++i;
    } else {
        digits(directive.width);
    }
    if (i < text.size() && text[i] == u'.') {
        ++i;
        if (i < text.size() && text[i] == u'*') {
            directive.precision_star = true;
            ++i;
        } else {
            digits(directive.precision);
            if (directive.precision.empty())
                directive.precision = u"0";
        }
    }
    for (const char16_t* m :
         {u"I64", u"I32", u"hh", u"ll", u"h", u"l", u"I", u"w", u"z", u"j", u"t", u"L"}) {
        const std::u16string_view mod(m);
        if (text.substr(i, mod.size()) == mod) {
            directive.length = mod;
            i += mod.size();
            break;
        }
    }
    if (i + 1 != text.size())
        return false;
    directive.conversion = text[i];
    return std::u16string_view(u"diuxXocCsSpeEfFgGaA").find(directive.conversion) !=
           std::u16string_view::npos;
}

bool IsFloat(char16_t c) {
    return std::u16string_view(u"eEfFgGaA").find(c) != std::u16string::npos;
}

bool Is64(const Directive& s) {
    return s.length == u"I64" || s.length == u"ll" || s.length == u"I" || s.length == u"z" ||
           s.length == u"j" || s.length == u"t";
}

ArgType TypeOf(const Directive& s) {
    if (IsFloat(s.conversion))
        return ArgType::Double;
    if (s.conversion == u's' || s.conversion == u'S' || s.conversion == u'p' || Is64(s))
        return ArgType::Int64;
    return ArgType::Int32;
}

// The arguments of one call, by insert number (1-based).
class Arguments {
  public:
    Arguments(va_list* args, bool array) : args_(args), array_(array) {}
    bool present() const { return args_ != nullptr; }
    void Declare(int index, ArgType type) {
        if (index >= static_cast<int>(types_.size()))
            types_.resize(index + 1, ArgType::Unknown);
        if (types_[index] == ArgType::Unknown)
            types_[index] = type;
    }
    // Reads a va_list once, in order, with the types the inserts give.
    void Fetch() {
        values_.assign(types_.size(), 0);
        doubles_.assign(types_.size(), 0);
        if (!args_)
            return;
        for (size_t i = 1; i < types_.size(); ++i) {
            if (array_) {
                values_[i] = reinterpret_cast<const DWORD_PTR*>(args_)[i - 1];
                std::memcpy(&doubles_[i], &values_[i], sizeof(double));
                continue;
            }
            switch (types_[i]) {
                case ArgType::Int32:
                    values_[i] = va_arg(*args_, unsigned int);
                    break;
                case ArgType::Double:
                    doubles_[i] = va_arg(*args_, double);
                    break;
                default:
                    values_[i] = reinterpret_cast<uintptr_t>(va_arg(*args_, void*));
                    break;
            }
        }
    }
    uint64_t Value(int index) const { return values_[index]; }
    double Double(int index) const { return doubles_[index]; }

  private:
    va_list* args_;
    bool array_;
    std::vector<ArgType> types_{ArgType::Unknown};
    std::vector<uint64_t> values_;
    std::vector<double> doubles_;
};

// One insert as it appears in the text.
struct Insert {
    size_t begin = 0, end = 0;  // the whole "%N!fmt!" in the template
    int index = 0;
    Directive directive;
};

// Output with the marks line wrapping needs.
struct Output {
    enum Mark : uint8_t { Plain, HardSpace, HardBreak };
    std::u16string text;
    std::vector<Mark> marks;
    void Add(char16_t c, Mark m = Plain) {
        text.push_back(c);
        marks.push_back(m);
    }
    void Add(std::u16string_view s) {
        for (char16_t c : s)
            Add(c);
    }
};

// Reads "%N" and an optional "!fmt!" at `at` (which holds '%' followed by a digit 1-9).
bool ReadInsert(std::u16string_view text, size_t at, Insert& insert) {
    size_t i = at + 1;
    int n = 0;
    for (int k = 0; k < 2 && i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++k, ++i)
        n = n * 10 + (text[i] - u'0');
    insert.begin = at;
    insert.index = n;
    insert.directive = Directive{};
    insert.end = i;
    if (i < text.size() && text[i] == u'!') {
        const size_t close = text.find(u'!', i + 1);
        if (close == std::u16string_view::npos)
            return false;
        if (!ParseDirective(text.substr(i + 1, close - i - 1), insert.directive))
            return false;
        i = close + 1;
    }
    insert.end = i;
    return true;
}

std::u16string NarrowOrWide(uint64_t pointer, bool wide, bool ansi_narrow) {
    if (pointer == 0)
        return u"(null)";
    if (wide)
        return std::u16string(reinterpret_cast<const char16_t*>(pointer));
    const char* s = reinterpret_cast<const char*>(pointer);
    return ansi_narrow ? AnsiToWide(s, std::strlen(s)) : FromUtf8(s);
}

// Renders one insert with the layer's formatter.
std::u16string Render(const Insert& insert, const Arguments& args, bool ansi) {
    const Directive& s = insert.directive;
    int next = insert.index;
    std::u16string format = u"%" + s.flags;
    const auto star = [&](std::u16string& out) {
        out += kvwin::Format(u"%d", static_cast<int32_t>(args.Value(next++)));
    };
    std::u16string width = s.width, precision = s.precision;
    if (s.width_star) {
        width.clear();
        star(width);
    }
    if (s.precision_star) {
        precision.clear();
        star(precision);
    }
    format += width;
    if (!precision.empty())
        format += u"." + precision;
    const int value = next;
    FormatArg arg;
    std::u16string text;
    const char16_t c = s.conversion;
    // In FormatMessageW plain s and c are wide; in FormatMessageA they are narrow.
    const bool wide = (s.length == u"l" || s.length == u"w") ||
                      (s.length.empty() && ((c == u's' || c == u'c') != ansi));
    if (c == u's' || c == u'S') {
        text = NarrowOrWide(args.Value(value), wide, true);
        format += u"ls";
        arg.kind = FormatArg::Kind::WideText;
        arg.p = text.data();
        arg.length = text.size();
    } else if (c == u'c' || c == u'C') {
        const uint64_t v = args.Value(value);
        text = wide ? std::u16string(1, static_cast<char16_t>(v))
                    : AnsiToWide(reinterpret_cast<const char*>(&v), 1);
        format = u"%" + s.flags + width + u"ls";
        arg.kind = FormatArg::Kind::WideText;
        arg.p = text.data();
        arg.length = text.size();
    } else if (IsFloat(c)) {
        format.push_back(c);
        arg.kind = FormatArg::Kind::Float;
        arg.d = args.Double(value);
    } else if (c == u'p') {
        format.push_back(c);
        arg.kind = FormatArg::Kind::Pointer;
        arg.p = reinterpret_cast<const void*>(args.Value(value));
    } else {
        uint64_t v = args.Value(value);
        const bool is_signed = c == u'd' || c == u'i';
        if (Is64(s)) {
            format += u"ll";
        } else if (s.length == u"hh") {
            v = is_signed ? static_cast<uint64_t>(static_cast<int8_t>(v)) : v & 0xFF;
        } else if (s.length == u"h") {
            v = is_signed ? static_cast<uint64_t>(static_cast<int16_t>(v)) : v & 0xFFFF;
        } else {
            v = is_signed ? static_cast<uint64_t>(static_cast<int32_t>(v)) : v & 0xFFFFFFFFu;
        }
        format.push_back(c);
        if (is_signed) {
            arg.kind = FormatArg::Kind::Signed;
            arg.i = static_cast<int64_t>(v);
        } else {
            arg.kind = FormatArg::Kind::Unsigned;
            arg.u = v;
        }
    }
    return FormatArgs(format.c_str(), &arg, 1);
}

// Breaks the output into lines of at most `width` characters.
std::u16string Wrap(const Output& out, unsigned width) {
    std::u16string result;
    size_t line_start = 0;
    const auto flush_line = [&](size_t begin, size_t end) {
        size_t b = begin;
        while (width != FORMAT_MESSAGE_MAX_WIDTH_MASK && end - b > width) {
            size_t cut = std::u16string::npos;
            for (size_t k = b + width; k > b; --k) {
                if (out.text[k] == u' ' && out.marks[k] == Output::Plain) {
                    cut = k;
                    break;
                }
            }
            if (cut == std::u16string::npos) {
                result.append(out.text, b, width);
                b += width;
            } else {
                result.append(out.text, b, cut - b);
                b = cut + 1;
            }
            result += u"\r\n";
        }
        result.append(out.text, b, end - b);
    };
    for (size_t i = 0; i <= out.text.size(); ++i) {
        if (i == out.text.size() || out.marks[i] == Output::HardBreak) {
            flush_line(line_start, i);
            if (i < out.text.size())
                result += u"\r\n";
            line_start = i + 1;
        }
    }
    return result;
}

// Expands inserts and escapes of a message text.
DWORD Expand(std::u16string_view text, DWORD flags, va_list* va, bool ansi,
             std::u16string& result) {
    const bool ignore = flags & FORMAT_MESSAGE_IGNORE_INSERTS;
    const unsigned width = flags & FORMAT_MESSAGE_MAX_WIDTH_MASK;
    Arguments args(ignore ? nullptr : va, flags & FORMAT_MESSAGE_ARGUMENT_ARRAY);

    // First pass: the inserts, so that a va_list can be read in order with the right types.
    std::vector<Insert> inserts;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != u'%')
            continue;
        const char16_t c = text[i + 1];
        if (c >= u'1' && c <= u'9') {
            Insert insert;
            // A damaged "!fmt!" fails, unless inserts are copied as they stand anyway.
            if (!ReadInsert(text, i, insert) && !ignore)
                return ERROR_INVALID_PARAMETER;
            if (!ignore) {
                int index = insert.index;
                if (insert.directive.width_star)
                    args.Declare(index++, ArgType::Int32);
                if (insert.directive.precision_star)
                    args.Declare(index++, ArgType::Int32);
                if (index > kMaxInsert + 2)
                    return ERROR_INVALID_PARAMETER;
                args.Declare(index, TypeOf(insert.directive));
            }
            inserts.push_back(insert);
            i = insert.end - 1;
        } else {
            ++i;  // an escape: its second character is not the start of anything
        }
    }
    if (!ignore && !inserts.empty() && !args.present())
        return ERROR_INVALID_PARAMETER;
    args.Fetch();

    Output out;
    size_t next_insert = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\r' || c == u'\n') {
            const bool pair = c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n';
            if (width == 0) {
                out.Add(c);
                if (pair)
                    out.Add(text[++i]);
            } else {
                out.Add(u' ');
                if (pair)
                    ++i;
            }
            continue;
        }
        if (c != u'%' || i + 1 >= text.size()) {
            out.Add(c);
            continue;
        }
        const char16_t e = text[i + 1];
        if (e >= u'1' && e <= u'9') {
            const Insert& insert = inserts[next_insert++];
            if (ignore)
                out.Add(text.substr(insert.begin, insert.end - insert.begin));
            else
                out.Add(Render(insert, args, ansi));
            i = insert.end - 1;
            continue;
        }
        ++i;
        if (e == u'0')
            break;
        switch (e) {
            case u'n':
                if (width == 0)
                    out.Add(u"\r\n");
                else
                    out.Add(u'\n', Output::HardBreak);
                break;
            case u' ':
                out.Add(u' ', Output::HardSpace);
                break;
            case u'r':
                out.Add(u'\r');
                break;
            case u't':
                out.Add(u'\t');
                break;
            default:
                out.Add(e);  // %% %. %! and any other character stand for themselves
                break;
        }
    }
    result = width == 0 ? std::move(out.text) : Wrap(out, width);
    return 0;
}

// The message text before expansion, from the source the flags name.
DWORD FindText(DWORD flags, LPCVOID source, DWORD id, DWORD language, bool ansi,
               std::u16string& text) {
    const DWORD from = flags & (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE |
                                FORMAT_MESSAGE_FROM_SYSTEM);
    if (from == FORMAT_MESSAGE_FROM_STRING) {
        if (!source)
            return ERROR_INVALID_PARAMETER;
        if (ansi) {
            const char* s = static_cast<const char*>(source);
            text = AnsiToWide(s, std::strlen(s));
        } else {
            text = WideView(static_cast<const char16_t*>(source));
        }
        return 0;
    }
    if (from == 0 || (from & FORMAT_MESSAGE_FROM_STRING))
        return ERROR_INVALID_PARAMETER;
    DWORD error = 0;
    if (from & FORMAT_MESSAGE_FROM_HMODULE) {
        std::shared_ptr<const ModuleMessages> module;
        error = MessagesOfModule(static_cast<HMODULE>(const_cast<void*>(source)), module);
        if (error == 0)
            error = module->table.Find(id, language, text);
        if (error == 0 || !(from & FORMAT_MESSAGE_FROM_SYSTEM))
            return error;
    }
    return SystemMessage(id, language, text);
}

DWORD Run(DWORD flags, LPCVOID source, DWORD id, DWORD language, va_list* args, bool ansi,
          std::u16string& result) {
    std::u16string text;
    if (const DWORD error = FindText(flags, source, id, language, ansi, text))
        return error;
    return Expand(text, flags, args, ansi, result);
}

// Stores the result as FormatMessage does; returns the length, or 0 with the last error.
template <class Ch>
DWORD Deliver(const std::basic_string<Ch>& text, DWORD flags, Ch* buffer, DWORD size) {
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        if (text.size() * sizeof(Ch) > kMaxAllocatedBytes) {
            SetLastError(ERROR_MORE_DATA);
            return 0;
        }
        const size_t count = text.size() + 1 > size ? text.size() + 1 : size;
        Ch* memory = static_cast<Ch*>(LocalAlloc(LMEM_FIXED, count * sizeof(Ch)));
        if (!memory) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        std::memcpy(memory, text.c_str(), (text.size() + 1) * sizeof(Ch));
        *reinterpret_cast<Ch**>(buffer) = memory;
        return static_cast<DWORD>(text.size());
    }
    if (text.size() + 1 > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(Ch));
    return static_cast<DWORD>(text.size());
}

}  // namespace

DWORD SystemMessage(DWORD id, DWORD language, std::u16string& text) {
    DWORD error = SystemTable().Find(id, language, text);
    // An HRESULT made from a Win32 code has that code's text.
    if (error == ERROR_MR_MID_NOT_FOUND && (id & 0xFFFF0000u) == 0x80070000u)
        error = SystemTable().Find(id & 0xFFFF, language, text);
    return error;
}

}  // namespace kvwin::messages

namespace kvwin {

DWORD SystemMessageText(DWORD id, DWORD language, std::u16string& text) {
    try {
        return messages::SystemMessage(id, language, text);
    } catch (...) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

// Both entry points: the wide one delivers the text as it is, the 8-bit one in the ANSI
// code page.
template <class Ch>
DWORD FormatMessageT(DWORD flags, LPCVOID source, DWORD id, DWORD language, Ch* buffer, DWORD size,
                     va_list* arguments) {
    if (!buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER)
        *reinterpret_cast<Ch**>(buffer) = nullptr;
    constexpr bool ansi = sizeof(Ch) == 1;
    try {
        std::u16string result;
        if (const DWORD error =
                messages::Run(flags, source, id, language, arguments, ansi, result)) {
            SetLastError(error);
            return 0;
        }
        if constexpr (ansi)
            return messages::Deliver(messages::WideToAnsi(result), flags, buffer, size);
        else
            return messages::Deliver(result, flags, buffer, size);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

}  // namespace kvwin

extern "C" {

DWORD FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                     LPWSTR lpBuffer, DWORD nSize, va_list* Arguments) {
    return kvwin::FormatMessageT(dwFlags, lpSource, dwMessageId, dwLanguageId, lpBuffer, nSize,
                                 Arguments);
}

DWORD FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                     LPSTR lpBuffer, DWORD nSize, va_list* Arguments) {
    return kvwin::FormatMessageT(dwFlags, lpSource, dwMessageId, dwLanguageId, lpBuffer, nSize,
                                 Arguments);
}

}  // extern "C"
