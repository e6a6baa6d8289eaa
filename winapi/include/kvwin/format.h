// The layer's printf-style formatter, type-checked: kvwin::Format(u"%s is %d", name, n).
//
// One implementation serves wide (WCHAR) and 8-bit (char, UTF-8) formats, and the C
// functions of win/format.h (swprintf_s and friends) run on it too. The conversions follow
// the Windows rules:
//   - in a wide format %s, %ls, %ws take wide text and %hs, %S narrow text; in a narrow
//     format %s, %hs take narrow text and %ls, %ws, %S wide text (%c/%C likewise);
//   - %d %i %u %x %X %o %c %p %e %E %f %F %g %G %a %A %%, flags - + space # 0, width and
//     precision (also as *), length modifiers h hh l ll L I I32 I64 z j t w;
//   - %ld and %lu are 32 bits (LONG, ULONG), as on Windows; use %lld, %I64d or %zu for 64;
//   - %p prints 16 uppercase hex digits; a null text pointer prints "(null)";
//   - narrow text meeting a wide format is read as UTF-8, and wide text meeting a narrow
//     format is written as UTF-8 (a precision then never splits a character).
//
// Each argument's type is checked against its conversion when the text is made. A mismatch
// (an int for %s, a narrow string for %s in a wide format, a pointer for %d) renders a
// marker such as "<%s got int>" in place of the conversion, a missing argument renders
// "<%d got no argument>", a malformed conversion "<bad format %y>"; nothing crashes. Types
// that no conversion could take (a struct) fail to compile. The C varargs functions cannot
// check anything, so the library's own code uses these templates.
//
// All functions are reentrant and keep no state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "kvwin/wide_string.h"
#include "win/types.h"

namespace kvwin {

// One argument as the formatter sees it.
struct FormatArg {
    enum class Kind : uint8_t { Signed, Unsigned, Float, NarrowText, WideText, Pointer, Null };
    Kind kind = Kind::Null;
    int64_t i = 0;
    uint64_t u = 0;
    double d = 0;
    const void* p = nullptr;
    size_t length = npos;  // text length, npos for NUL-terminated text
    static constexpr size_t npos = static_cast<size_t>(-1);
};

// The formatter's entry points over an argument array (the templates below build it).
KVWIN_API WString FormatArgs(const WCHAR* format, const FormatArg* args, size_t count);
KVWIN_API std::string FormatArgs(const char* format, const FormatArg* args, size_t count);
// Writes as much as fits into buffer[0..size) and always terminates it (when size > 0).
// Returns the length written, or -1 when the text was cut (or size is 0, or buffer null).
KVWIN_API int FormatArgsTo(WCHAR* buffer, size_t size, const WCHAR* format, const FormatArg* args,
                           size_t count);
KVWIN_API int FormatArgsTo(char* buffer, size_t size, const char* format, const FormatArg* args,
                           size_t count);

namespace format_detail {

template <class>
inline constexpr bool kAlwaysFalse = false;

template <class T>
FormatArg MakeArg(const T& value) {
    using D = std::remove_cv_t<std::decay_t<T>>;
    FormatArg a;
    if constexpr (std::is_same_v<D, bool>) {
        a.kind = FormatArg::Kind::Unsigned;
        a.u = value ? 1 : 0;
    } else if constexpr (std::is_integral_v<D>) {
        if constexpr (std::is_signed_v<D>) {
            a.kind = FormatArg::Kind::Signed;
            a.i = static_cast<int64_t>(value);
        } else {
            a.kind = FormatArg::Kind::Unsigned;
            a.u = static_cast<uint64_t>(value);
        }
    } else if constexpr (std::is_enum_v<D>) {
        return MakeArg(static_cast<std::underlying_type_t<D>>(value));
    } else if constexpr (std::is_floating_point_v<D>) {
        a.kind = FormatArg::Kind::Float;
        a.d = static_cast<double>(value);
    } else if constexpr (std::is_same_v<D, char*> || std::is_same_v<D, const char*>) {
        const char* s = value;
        a.kind = s ? FormatArg::Kind::NarrowText : FormatArg::Kind::Null;
        a.p = s;
    } else if constexpr (std::is_same_v<D, WCHAR*> || std::is_same_v<D, const WCHAR*>) {
        const WCHAR* s = value;
        a.kind = s ? FormatArg::Kind::WideText : FormatArg::Kind::Null;
        a.p = s;
    } else if constexpr (std::is_same_v<D, std::string> || std::is_same_v<D, std::string_view>) {
        a.kind = FormatArg::Kind::NarrowText;
        a.p = value.data();
        a.length = value.size();
    } else if constexpr (std::is_same_v<D, WString> || std::is_same_v<D, WStringView>) {
        a.kind = FormatArg::Kind::WideText;
        a.p = value.data();
        a.length = value.size();
    } else if constexpr (std::is_same_v<D, std::nullptr_t>) {
        a.kind = FormatArg::Kind::Null;
    } else if constexpr (std::is_pointer_v<D>) {
        a.kind = FormatArg::Kind::Pointer;
        if constexpr (std::is_function_v<std::remove_pointer_t<D>>) {
            a.p = reinterpret_cast<const void*>(value);
        } else {
            a.p = static_cast<const void*>(value);
        }
    } else {
        static_assert(kAlwaysFalse<D>, "kvwin::Format: no conversion takes this argument type");
    }
    return a;
}

}  // namespace format_detail

template <class... Args>
WString Format(const WCHAR* format, const Args&... args) {
    const FormatArg list[] = {format_detail::MakeArg(args)..., FormatArg{}};
    return FormatArgs(format, list, sizeof...(Args));
}

template <class... Args>
std::string Format(const char* format, const Args&... args) {
    const FormatArg list[] = {format_detail::MakeArg(args)..., FormatArg{}};
    return FormatArgs(format, list, sizeof...(Args));
}

// Truncating forms for fixed buffers: see FormatArgsTo.
template <class... Args>
int FormatTo(WCHAR* buffer, size_t size, const WCHAR* format, const Args&... args) {
    const FormatArg list[] = {format_detail::MakeArg(args)..., FormatArg{}};
    return FormatArgsTo(buffer, size, format, list, sizeof...(Args));
}

template <class... Args>
int FormatTo(char* buffer, size_t size, const char* format, const Args&... args) {
    const FormatArg list[] = {format_detail::MakeArg(args)..., FormatArg{}};
    return FormatArgsTo(buffer, size, format, list, sizeof...(Args));
}

template <class Ch, size_t N, class... Args>
int FormatTo(Ch (&buffer)[N], const Ch* format, const Args&... args) {
    return FormatTo(buffer, N, format, args...);
}

}  // namespace kvwin
