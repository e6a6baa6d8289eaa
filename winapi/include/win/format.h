// printf-style formatting into fixed buffers, with the Windows CRT's and USER's rules.
//
// All of these run on the layer's one formatter (kvwin/format.h), so the conversions,
// flags and the wide-format rules (%s is wide text in a wide format, %hs narrow) are the
// ones documented there. Arguments travel as C varargs and cannot be checked: a wrong type
// is undefined behaviour, as on Windows. The library's own code uses kvwin::Format and
// kvwin::FormatTo instead, which check every argument.
//
// Where Windows calls its invalid-parameter handler (which ends the process by default),
// these functions behave as if the handler returned: they set errno (EINVAL or ERANGE),
// empty the buffer when there is one, and return -1. A malformed conversion ("%y", "%n")
// counts as an invalid parameter. All functions are reentrant.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "win/types.h"

#ifndef _TRUNCATE
#define _TRUNCATE ((size_t)-1)
#endif

extern "C" {

// At most `count` characters (or as many as fit when count is _TRUNCATE), always
// terminated. Returns the length, or -1 when the text was cut to `count` or to the buffer
// (_TRUNCATE). When count does not limit the text and it does not fit the buffer, the
// buffer is emptied, errno is ERANGE and the result -1. A null buffer with size 0 and
// count 0 returns 0.
KVWIN_API int _snwprintf_s(WCHAR* buffer, size_t sizeOfBuffer, size_t count, const WCHAR* format,
                           ...);
KVWIN_API int _vsnwprintf_s(WCHAR* buffer, size_t sizeOfBuffer, size_t count, const WCHAR* format,
                            va_list argptr);
KVWIN_API int _snprintf_s(char* buffer, size_t sizeOfBuffer, size_t count, const char* format, ...);
KVWIN_API int _vsnprintf_s(char* buffer, size_t sizeOfBuffer, size_t count, const char* format,
                           va_list argptr);

// The whole text or nothing: a text that does not fit empties the buffer, sets ERANGE and
// returns -1. Returns the length otherwise.
KVWIN_API int swprintf_s(WCHAR* buffer, size_t sizeOfBuffer, const WCHAR* format, ...);
KVWIN_API int vswprintf_s(WCHAR* buffer, size_t sizeOfBuffer, const WCHAR* format, va_list argptr);
KVWIN_API int sprintf_s(char* buffer, size_t sizeOfBuffer, const char* format, ...);
KVWIN_API int vsprintf_s(char* buffer, size_t sizeOfBuffer, const char* format, va_list argptr);

// The older forms: at most `count` characters; terminated only when the text is shorter
// than count; -1 when it is longer (the first count characters are then written). A null
// buffer with count 0 returns the length the text needs.
KVWIN_API int _snwprintf(WCHAR* buffer, size_t count, const WCHAR* format, ...);
KVWIN_API int _vsnwprintf(WCHAR* buffer, size_t count, const WCHAR* format, va_list argptr);
KVWIN_API int _snprintf(char* buffer, size_t count, const char* format, ...);
KVWIN_API int _vsnprintf(char* buffer, size_t count, const char* format, va_list argptr);

// The length the text would have, without the terminator.
KVWIN_API int _scwprintf(const WCHAR* format, ...);
KVWIN_API int _vscwprintf(const WCHAR* format, va_list argptr);
KVWIN_API int _scprintf(const char* format, ...);
KVWIN_API int _vscprintf(const char* format, va_list argptr);

// USER's formatter: the buffer is taken to hold 1024 characters, so at most 1023 are
// written and the text is always terminated. Returns the number of characters written.
// (Windows' own wsprintf knows no floating-point conversions; these accept them.)
KVWIN_API int wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...);
KVWIN_API int wvsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, va_list arglist);
KVWIN_API int wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...);
KVWIN_API int wvsprintfA(LPSTR lpOut, LPCSTR lpFmt, va_list arglist);

}  // extern "C"

// The C++ array forms, which take the size from the array.
template <size_t N>
int swprintf_s(WCHAR (&buffer)[N], const WCHAR* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = vswprintf_s(buffer, N, format, args);
    va_end(args);
    return n;
}

template <size_t N>
int sprintf_s(char (&buffer)[N], const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = vsprintf_s(buffer, N, format, args);
    va_end(args);
    return n;
}

template <size_t N>
int _snwprintf_s(WCHAR (&buffer)[N], size_t count, const WCHAR* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = _vsnwprintf_s(buffer, N, count, format, args);
    va_end(args);
    return n;
}

template <size_t N>
int _snprintf_s(char (&buffer)[N], size_t count, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = _vsnprintf_s(buffer, N, count, format, args);
    va_end(args);
    return n;
}
