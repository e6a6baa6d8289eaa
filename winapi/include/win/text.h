// Code-page conversion and wide-string functions on UTF-16 text.
//
// Code pages: CP_UTF8 (65001), UTF-16LE (1200, only as a WideCharToMultiByte target is
// refused as on Windows, see below), Windows-1252 (1252), OEM 437 (437), ISO 8859-1
// (28591) and US-ASCII (20127). The "ANSI" page CP_ACP and CP_THREAD_ACP is Windows-1252
// and the OEM page CP_OEMCP is 437, as on a Western-European or US Windows installation:
// code written for Windows that passes CP_ACP keeps meaning an 8-bit page, not UTF-8.
//
// Wide strings: wchar_t is 32 bits on Linux, so libc's wcslen, wcscmp, towlower and friends
// do not work on WCHAR (char16_t) text. This header adds C++ overloads of those names that
// take char16_t; they never collide with libc's wchar_t/wint_t versions, because the
// parameter types differ. Call them with WCHAR values or WCHAR pointers (u'x', u"..."): a
// plain int or char argument would match neither overload better and fails to compile,
// which is deliberate. The functions with Windows-only names (lstrlenW, _wcsicmp, ...) are
// C functions.
//
// Case mapping is Unicode simple case mapping over the whole BMP (one WCHAR to one WCHAR),
// so Latin-1, Latin Extended, Greek, Cyrillic, Armenian, Georgian and the rest fold; case-
// insensitive comparison lowers both sides code unit by code unit, as _wcsicmp does.
// Everything here is stateless and safe to call from any thread.
#pragma once

#include <cwchar>
#include <cwctype>

#include "win/errors.h"
#include "win/handles.h"
#include "win/types.h"

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_MACCP 2
#define CP_THREAD_ACP 3
#define CP_SYMBOL 42
#define CP_UTF7 65000
#define CP_UTF8 65001

#define MB_PRECOMPOSED 0x00000001
#define MB_COMPOSITE 0x00000002
#define MB_USEGLYPHCHARS 0x00000004
#define MB_ERR_INVALID_CHARS 0x00000008

#define WC_COMPOSITECHECK 0x00000200
#define WC_DISCARDNS 0x00000010
#define WC_SEPCHARS 0x00000020
#define WC_DEFAULTCHAR 0x00000040
#define WC_ERR_INVALID_CHARS 0x00000080
#define WC_NO_BEST_FIT_CHARS 0x00000400

#ifndef ERROR_INVALID_FLAGS
#define ERROR_INVALID_FLAGS 1004L
#endif

extern "C" {

// Converts 8-bit text in `CodePage` to UTF-16.
// cbMultiByte of -1 converts up to and including the terminating NUL (the result counts
// it); cchWideChar of 0 asks for the size only. Fails (returns 0) with:
//   ERROR_INVALID_PARAMETER    null input, cbMultiByte 0 or below -1, cchWideChar below 0,
//                              a null output with cchWideChar > 0, input and output the same
//                              buffer, an unknown code page, or code page 1200;
//   ERROR_INVALID_FLAGS        flags other than MB_ERR_INVALID_CHARS for UTF-8, unknown flags;
//   ERROR_NO_UNICODE_TRANSLATION  invalid input with MB_ERR_INVALID_CHARS;
//   ERROR_INSUFFICIENT_BUFFER  the result does not fit (the buffer's contents are then
//                              unspecified).
// Without MB_ERR_INVALID_CHARS each maximal invalid UTF-8 subsequence (a byte that cannot
// start a sequence, or the valid start of a sequence that breaks off) becomes one U+FFFD;
// overlong forms, encoded surrogates and values above U+10FFFF are invalid.
KVWIN_API int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr,
                                  int cbMultiByte, LPWSTR lpWideCharStr, int cchWideChar);

// Converts UTF-16 text to 8-bit text in `CodePage`. cchWideChar of -1 includes the NUL;
// cbMultiByte of 0 asks for the size only. For UTF-8, lpDefaultChar and lpUsedDefaultChar
// must be NULL and the only flag allowed is WC_ERR_INVALID_CHARS: with it a lone surrogate
// fails with ERROR_NO_UNICODE_TRANSLATION, without it the surrogate becomes U+FFFD.
// For the single-byte pages a character the page lacks becomes its best-fit character
// (the base letter of an accented letter: U+0100 -> 'A') unless WC_NO_BEST_FIT_CHARS is
// given, and otherwise the default character (lpDefaultChar's first byte, or '?'), setting
// *lpUsedDefaultChar. Code page 1200 is not a valid target (ERROR_INVALID_PARAMETER).
// Other failures as for MultiByteToWideChar.
KVWIN_API int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr,
                                  int cchWideChar, LPSTR lpMultiByteStr, int cbMultiByte,
                                  LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar);

// The code pages in effect: 1252 and 437.
// The user's and the system's locale (both from the environment; en-US by default).
KVWIN_API LCID GetUserDefaultLCID(void);
KVWIN_API LCID GetSystemDefaultLCID(void);
KVWIN_API UINT GetACP(void);
KVWIN_API UINT GetOEMCP(void);
KVWIN_API BOOL IsValidCodePage(UINT CodePage);

// ---- Wide strings with Windows names -------------------------------------------------------

// Length in WCHARs without the NUL; 0 for NULL.
KVWIN_API int lstrlenW(LPCWSTR lpString);
// Copies at most iMaxLength - 1 WCHARs and always terminates (when iMaxLength > 0).
// Returns lpString1; NULL for a null pointer.
KVWIN_API LPWSTR lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength);
KVWIN_API LPWSTR lstrcpyW(LPWSTR lpString1, LPCWSTR lpString2);
KVWIN_API LPWSTR lstrcatW(LPWSTR lpString1, LPCWSTR lpString2);
// Windows compares these as words: letters first without regard to case, then, only if
// that finds no difference, a lowercase letter sorts before its uppercase form. Here the
// first step compares case-folded code units. Results are -1, 0 or 1; NULL sorts first.
KVWIN_API int lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2);
// The first step of lstrcmpW alone.
KVWIN_API int lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2);

// Compare towlower'd code units; the result is their difference (negative, 0, positive).
KVWIN_API int _wcsicmp(const WCHAR* string1, const WCHAR* string2);
KVWIN_API int _wcsnicmp(const WCHAR* string1, const WCHAR* string2, size_t count);
KVWIN_API WCHAR* _wcslwr(WCHAR* str);
KVWIN_API WCHAR* _wcsupr(WCHAR* str);

// Decimal conversion as the CRT does it: leading white space, an optional sign, digits;
// stops at the first non-digit. _wtoi and _wtol saturate at the 32-bit limits, _wtoi64 at
// the 64-bit ones. NULL gives 0.
KVWIN_API int _wtoi(const WCHAR* str);
KVWIN_API LONG _wtol(const WCHAR* str);
KVWIN_API LONGLONG _wtoi64(const WCHAR* str);

// Case mapping in place: CharUpperW/CharLowerW take a string, or a single character in the
// low word of the pointer value when its high bits are zero (and then return the mapped
// character the same way). The Buff forms map `cchLength` WCHARs and return how many.
KVWIN_API LPWSTR CharUpperW(LPWSTR lpsz);
KVWIN_API LPWSTR CharLowerW(LPWSTR lpsz);
KVWIN_API DWORD CharUpperBuffW(LPWSTR lpsz, DWORD cchLength);
KVWIN_API DWORD CharLowerBuffW(LPWSTR lpsz, DWORD cchLength);
KVWIN_API BOOL IsCharAlphaW(WCHAR ch);
KVWIN_API BOOL IsCharAlphaNumericW(WCHAR ch);
KVWIN_API BOOL IsCharUpperW(WCHAR ch);
KVWIN_API BOOL IsCharLowerW(WCHAR ch);

// Character classes and case mapping of one WCHAR (the implementations of the C++
// overloads below; use those).
KVWIN_API WCHAR KvwinToLowerW(WCHAR c);
KVWIN_API WCHAR KvwinToUpperW(WCHAR c);
KVWIN_API int KvwinIsSpaceW(WCHAR c);
KVWIN_API int KvwinIsDigitW(WCHAR c);
KVWIN_API int KvwinIsAlphaW(WCHAR c);
// Unsigned and signed number parsing on WCHAR text with strtoul's rules (base 0 or 2..36,
// "0x" prefix for 16 and 0, overflow gives the limit and sets errno to ERANGE). The ULONG
// and LONG results are 32 bits, as on Windows.
KVWIN_API ULONG KvwinWcsToUl(const WCHAR* str, WCHAR** end, int base);
KVWIN_API LONG KvwinWcsToL(const WCHAR* str, WCHAR** end, int base);
KVWIN_API ULONGLONG KvwinWcsToUi64(const WCHAR* str, WCHAR** end, int base);

}  // extern "C"

// ---- C++ overloads of the wide-string names for WCHAR text ---------------------------------

inline size_t wcslen(const WCHAR* s) {
    size_t n = 0;
    while (s[n])
        ++n;
    return n;
}
inline size_t wcsnlen(const WCHAR* s, size_t max) {
    size_t n = 0;
    while (n < max && s[n])
        ++n;
    return n;
}
// Ordinal comparison of code units, as Windows' wcscmp.
inline int wcscmp(const WCHAR* a, const WCHAR* b) {
    while (*a && *a == *b)
        ++a, ++b;
    return *a == *b ? 0 : (*a < *b ? -1 : 1);
}
inline int wcsncmp(const WCHAR* a, const WCHAR* b, size_t n) {
    for (; n; --n, ++a, ++b) {
        if (*a != *b)
            return *a < *b ? -1 : 1;
        if (!*a)
            return 0;
    }
    return 0;
}
inline WCHAR* wcscpy(WCHAR* dst, const WCHAR* src) {
    WCHAR* d = dst;
    while ((*d++ = *src++)) {
    }
    return dst;
}
inline const WCHAR* wcschr(const WCHAR* s, WCHAR c) {
    for (;; ++s) {
        if (*s == c)
            return s;
        if (!*s)
            return nullptr;
    }
}
inline WCHAR* wcschr(WCHAR* s, WCHAR c) {
    return const_cast<WCHAR*>(wcschr(static_cast<const WCHAR*>(s), c));
}
inline const WCHAR* wcsrchr(const WCHAR* s, WCHAR c) {
    const WCHAR* found = nullptr;
    for (;; ++s) {
        if (*s == c)
            found = s;
        if (!*s)
            return found;
    }
}
inline WCHAR* wcsrchr(WCHAR* s, WCHAR c) {
    return const_cast<WCHAR*>(wcsrchr(static_cast<const WCHAR*>(s), c));
}
inline const WCHAR* wcsstr(const WCHAR* haystack, const WCHAR* needle) {
    if (!*needle)
        return haystack;
    for (; *haystack; ++haystack) {
        size_t i = 0;
        while (needle[i] && haystack[i] == needle[i])
            ++i;
        if (!needle[i])
            return haystack;
    }
    return nullptr;
}
inline WCHAR* wcsstr(WCHAR* haystack, const WCHAR* needle) {
    return const_cast<WCHAR*>(wcsstr(static_cast<const WCHAR*>(haystack), needle));
}
inline WCHAR towlower(WCHAR c) {
    return KvwinToLowerW(c);
}
inline WCHAR towupper(WCHAR c) {
    return KvwinToUpperW(c);
}
inline int iswspace(WCHAR c) {
    return KvwinIsSpaceW(c);
}
inline int iswdigit(WCHAR c) {
    return KvwinIsDigitW(c);
}
inline int iswalpha(WCHAR c) {
    return KvwinIsAlphaW(c);
}
inline int iswalnum(WCHAR c) {
    return KvwinIsAlphaW(c) || KvwinIsDigitW(c);
}
inline int iswxdigit(WCHAR c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}
inline int iswupper(WCHAR c) {
    return KvwinToLowerW(c) != c;
}
inline int iswlower(WCHAR c) {
    return KvwinToUpperW(c) != c;
}
inline ULONG wcstoul(const WCHAR* str, WCHAR** end, int base) {
    return KvwinWcsToUl(str, end, base);
}
inline LONG wcstol(const WCHAR* str, WCHAR** end, int base) {
    return KvwinWcsToL(str, end, base);
}
inline ULONGLONG _wcstoui64(const WCHAR* str, WCHAR** end, int base) {
    return KvwinWcsToUi64(str, end, base);
}
