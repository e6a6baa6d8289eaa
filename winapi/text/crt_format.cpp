// The C varargs fronts of the formatter: the CRT's secure and older printf forms and USER's
// wsprintf, each with its own rules for limits, terminators and results.
#include <cerrno>
#include <cstdarg>
#include <optional>
#include <string>

#include "format_engine.h"
#include "win/format.h"

namespace {

using kvwin::FormatArg;
using kvwin::text::Wanted;

// Reads arguments from a va_list with the types the conversions name; checks nothing.
class VaListArguments final : public kvwin::text::ArgumentSource {
  public:
    explicit VaListArguments(va_list args) { va_copy(args_, args); }
    ~VaListArguments() override { va_end(args_); }
    VaListArguments(const VaListArguments&) = delete;
    VaListArguments& operator=(const VaListArguments&) = delete;

    bool Next(Wanted wanted, int bits, FormatArg& out, const char*&) override {
        switch (wanted) {
            case Wanted::Integer:
                out.kind = FormatArg::Kind::Signed;
                out.i = bits > 32 ? va_arg(args_, long long) : va_arg(args_, int);
                break;
            case Wanted::NarrowChar:
            case Wanted::WideChar:
                out.kind = FormatArg::Kind::Signed;
                out.i = va_arg(args_, int);
                break;
            case Wanted::Float:
                out.kind = FormatArg::Kind::Float;
                out.d = va_arg(args_, double);
                break;
            case Wanted::NarrowText:
            case Wanted::WideText:
            case Wanted::Pointer:
                out.p = va_arg(args_, const void*);
                out.kind = !out.p ? FormatArg::Kind::Null
                                  : (wanted == Wanted::NarrowText ? FormatArg::Kind::NarrowText
                                     : wanted == Wanted::WideText ? FormatArg::Kind::WideText
                                                                  : FormatArg::Kind::Pointer);
                break;
        }
        return true;
    }
    bool Checked() const override { return false; }

  private:
    va_list args_;
};

// The formatted text, or nullopt (errno set) for a null or malformed format.
template <class Ch>
std::optional<std::basic_string<Ch>> Render(const Ch* format, va_list args) {
    if (!format) {
        errno = EINVAL;
        return std::nullopt;
    }
    try {
        std::basic_string<Ch> out;
        VaListArguments source(args);
        if (!kvwin::text::FormatInto(out, format, source)) {
            errno = EINVAL;
            return std::nullopt;
        }
        return out;
    } catch (...) {
        errno = ENOMEM;
        return std::nullopt;
    }
}

template <class Ch>
int Fail(Ch* buffer, size_t size, int err) {
    if (buffer && size > 0)
        buffer[0] = 0;
    errno = err;
    return -1;
}

template <class Ch>
int Store(Ch* buffer, const std::basic_string<Ch>& text, size_t n) {
    text.copy(buffer, n);
    buffer[n] = 0;
    return static_cast<int>(n);
}

// _snprintf_s and _snwprintf_s.
template <class Ch>
int SecureWithCount(Ch* buffer, size_t size, size_t count, const Ch* format, va_list args) {
    if (!buffer)
        return (size == 0 && count == 0) ? 0 : Fail(buffer, size, EINVAL);
    if (size == 0)
        return Fail(buffer, size, EINVAL);
    const auto text = Render(format, args);
    if (!text)
        return Fail(buffer, size, errno);
    const size_t len = text->size();
    if (count == _TRUNCATE) {
        if (len < size)
            return Store(buffer, *text, len);
        Store(buffer, *text, size - 1);
        return -1;
    }
    if (count < size) {
        if (len <= count)
            return Store(buffer, *text, len);
        Store(buffer, *text, count);
        return -1;
    }
    if (len < size)
        return Store(buffer, *text, len);
    return Fail(buffer, size, ERANGE);
}

// sprintf_s and swprintf_s.
template <class Ch>
int SecureWhole(Ch* buffer, size_t size, const Ch* format, va_list args) {
    if (!buffer || size == 0)
        return Fail(buffer, size, EINVAL);
    const auto text = Render(format, args);
    if (!text)
        return Fail(buffer, size, errno);
    if (text->size() >= size)
        return Fail(buffer, size, ERANGE);
    return Store(buffer, *text, text->size());
}

// _snprintf and _snwprintf.
template <class Ch>
int Legacy(Ch* buffer, size_t count, const Ch* format, va_list args) {
    const auto text = Render(format, args);
    if (!text)
        return -1;
    const size_t len = text->size();
    if (!buffer) {
        if (count == 0)
            return static_cast<int>(len);
        errno = EINVAL;
        return -1;
    }
    if (len > count) {
        text->copy(buffer, count);
        return -1;
    }
    text->copy(buffer, len);
    if (len < count)
        buffer[len] = 0;
    return static_cast<int>(len);
}

template <class Ch>
int Count(const Ch* format, va_list args) {
    const auto text = Render(format, args);
    return text ? static_cast<int>(text->size()) : -1;
}

constexpr size_t kUserLimit = 1024;

template <class Ch>
int User(Ch* out, const Ch* format, va_list args) {
    if (!out)
        return 0;
    const auto text = Render(format, args);
    if (!text) {
        out[0] = 0;
        return 0;
    }
    return Store(out, *text, text->size() < kUserLimit ? text->size() : kUserLimit - 1);
}

}  // namespace

extern "C" {

int _vsnwprintf_s(WCHAR* buffer, size_t sizeOfBuffer, size_t count, const WCHAR* format,
                  va_list argptr) {
    return SecureWithCount(buffer, sizeOfBuffer, count, format, argptr);
}

int _snwprintf_s(WCHAR* buffer, size_t sizeOfBuffer, size_t count, const WCHAR* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = SecureWithCount(buffer, sizeOfBuffer, count, format, args);
    va_end(args);
    return n;
}

int _vsnprintf_s(char* buffer, size_t sizeOfBuffer, size_t count, const char* format,
                 va_list argptr) {
    return SecureWithCount(buffer, sizeOfBuffer, count, format, argptr);
}

int _snprintf_s(char* buffer, size_t sizeOfBuffer, size_t count, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = SecureWithCount(buffer, sizeOfBuffer, count, format, args);
    va_end(args);
    return n;
}

int vswprintf_s(WCHAR* buffer, size_t sizeOfBuffer, const WCHAR* format, va_list argptr) {
    return SecureWhole(buffer, sizeOfBuffer, format, argptr);
}

int swprintf_s(WCHAR* buffer, size_t sizeOfBuffer, const WCHAR* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = SecureWhole(buffer, sizeOfBuffer, format, args);
    va_end(args);
    return n;
}

int vsprintf_s(char* buffer, size_t sizeOfBuffer, const char* format, va_list argptr) {
    return SecureWhole(buffer, sizeOfBuffer, format, argptr);
}

int sprintf_s(char* buffer, size_t sizeOfBuffer, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = SecureWhole(buffer, sizeOfBuffer, format, args);
    va_end(args);
    return n;
}

int _vsnwprintf(WCHAR* buffer, size_t count, const WCHAR* format, va_list argptr) {
    return Legacy(buffer, count, format, argptr);
}

int _snwprintf(WCHAR* buffer, size_t count, const WCHAR* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = Legacy(buffer, count, format, args);
    va_end(args);
    return n;
}

int _vsnprintf(char* buffer, size_t count, const char* format, va_list argptr) {
    return Legacy(buffer, count, format, argptr);
}

int _snprintf(char* buffer, size_t count, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = Legacy(buffer, count, format, args);
    va_end(args);
    return n;
}

int _vscwprintf(const WCHAR* format, va_list argptr) {
    return Count(format, argptr);
}

int _scwprintf(const WCHAR* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = Count(format, args);
    va_end(args);
    return n;
}

int _vscprintf(const char* format, va_list argptr) {
    return Count(format, argptr);
}

int _scprintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = Count(format, args);
    va_end(args);
    return n;
}

int wvsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, va_list arglist) {
    return User(lpOut, lpFmt, arglist);
}

int wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...) {
    va_list args;
    va_start(args, lpFmt);
    const int n = User(lpOut, lpFmt, args);
    va_end(args);
    return n;
}

int wvsprintfA(LPSTR lpOut, LPCSTR lpFmt, va_list arglist) {
    return User(lpOut, lpFmt, arglist);
}

int wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...) {
    va_list args;
    va_start(args, lpFmt);
    const int n = User(lpOut, lpFmt, args);
    va_end(args);
    return n;
}

}  // extern "C"
