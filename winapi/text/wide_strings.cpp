// Wide-string functions with Windows names, on UTF-16 text.
#include <cerrno>
#include <climits>

#include "character_data.h"
#include "win/text.h"

namespace {

using kvwin::text::SimpleLower;
using kvwin::text::SimpleUpper;

int Sign(int v) {
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

int FoldedCompare(const WCHAR* a, const WCHAR* b, size_t count) {
    for (; count; --count, ++a, ++b) {
        const int d = static_cast<int>(SimpleLower(*a)) - static_cast<int>(SimpleLower(*b));
        if (d != 0 || !*a)
            return d;
    }
    return 0;
}

// Accumulates digits in `base` with overflow detection; returns the value and sets
// `overflow`. *end gets the first character not used (the start when there are no digits).
ULONGLONG ParseDigits(const WCHAR* s, const WCHAR*& end, int base, ULONGLONG limit, bool& overflow,
                      bool& any) {
    ULONGLONG value = 0;
    overflow = false;
    any = false;
    for (;; ++s) {
        int digit;
        const WCHAR c = *s;
        if (c >= u'0' && c <= u'9') {
            digit = c - u'0';
        } else if (c >= u'a' && c <= u'z') {
            digit = c - u'a' + 10;
        } else if (c >= u'A' && c <= u'Z') {
            digit = c - u'A' + 10;
        } else {
            break;
        }
        if (digit >= base)
            break;
        any = true;
        if (value > (limit - static_cast<ULONGLONG>(digit)) / static_cast<ULONGLONG>(base)) {
            overflow = true;
            value = limit;
        } else if (!overflow) {
            value = value * static_cast<ULONGLONG>(base) + static_cast<ULONGLONG>(digit);
        }
    }
    end = s;
    return value;
}

// strtoul-style parsing. `negative_limit`/`positive_limit` bound the magnitude for each
// sign; an unsigned parse passes the same bound and negates the result like the CRT.
struct Parsed {
    ULONGLONG magnitude = 0;
    bool negative = false;
    bool overflow = false;
};

Parsed ParseNumber(const WCHAR* str, WCHAR** end, int base, ULONGLONG positive_limit,
                   ULONGLONG negative_limit) {
    Parsed result;
    if (end)
        *end = const_cast<WCHAR*>(str);
    if (!str || base < 0 || base == 1 || base > 36) {
        errno = EINVAL;
        return result;
    }
    const WCHAR* s = str;
    while (kvwin::text::IsSpace(*s))
        ++s;
    if (*s == u'+' || *s == u'-')
        result.negative = *s++ == u'-';
    if ((base == 0 || base == 16) && s[0] == u'0' && (s[1] == u'x' || s[1] == u'X')) {
        // "0x" counts only when a hex digit follows; otherwise the "0" alone is the number.
        const WCHAR h = s[2];
        if ((h >= u'0' && h <= u'9') || (h >= u'a' && h <= u'f') || (h >= u'A' && h <= u'F')) {
            s += 2;
            base = 16;
        }
    }
    if (base == 0)
        base = s[0] == u'0' ? 8 : 10;
    const WCHAR* stop = nullptr;
    bool any = false;
    result.magnitude = ParseDigits(s, stop, base, result.negative ? negative_limit : positive_limit,
                                   result.overflow, any);
    if (!any)
        return Parsed{};
    if (end)
        *end = const_cast<WCHAR*>(stop);
    if (result.overflow)
        errno = ERANGE;
    return result;
}

// The CRT's _wtoi family: decimal, saturating.
LONGLONG DecimalToInteger(const WCHAR* str, LONGLONG min, LONGLONG max) {
    if (!str)
        return 0;
    const Parsed p =
        ParseNumber(str, nullptr, 10, static_cast<ULONGLONG>(max), static_cast<ULONGLONG>(max) + 1);
    if (p.overflow)
        return p.negative ? min : max;
    return p.negative ? static_cast<LONGLONG>(0 - p.magnitude) : static_cast<LONGLONG>(p.magnitude);
}

// A pointer value whose high bits are zero carries one character in its low word.
bool IsCharacterInPointer(const WCHAR* p) {
    return (reinterpret_cast<uintptr_t>(p) >> 16) == 0;
}

}  // namespace

extern "C" {

int lstrlenW(LPCWSTR lpString) {
    return lpString ? static_cast<int>(wcslen(lpString)) : 0;
}

LPWSTR lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength) {
    if (!lpString1 || !lpString2)
        return nullptr;
    if (iMaxLength <= 0)
        return lpString1;
    int i = 0;
    for (; i < iMaxLength - 1 && lpString2[i]; ++i)
        lpString1[i] = lpString2[i];
    lpString1[i] = 0;
    return lpString1;
}

LPWSTR lstrcpyW(LPWSTR lpString1, LPCWSTR lpString2) {
    if (!lpString1 || !lpString2)
        return nullptr;
    return wcscpy(lpString1, lpString2);
}

LPWSTR lstrcatW(LPWSTR lpString1, LPCWSTR lpString2) {
    if (!lpString1 || !lpString2)
        return nullptr;
    wcscpy(lpString1 + wcslen(lpString1), lpString2);
    return lpString1;
}

int lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2) {
    if (!lpString1 || !lpString2)
        return lpString1 ? 1 : (lpString2 ? -1 : 0);
    return Sign(FoldedCompare(lpString1, lpString2, SIZE_MAX));
}

int lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2) {
    if (int folded = lstrcmpiW(lpString1, lpString2); folded != 0 || !lpString1 || !lpString2) {
        return folded;
    }
    // Same letters: the first difference in case decides, lowercase first.
    for (const WCHAR *a = lpString1, *b = lpString2; *a; ++a, ++b) {
        if (*a != *b)
            return SimpleLower(*a) == *a ? -1 : 1;
    }
    return 0;
}

int _wcsicmp(const WCHAR* string1, const WCHAR* string2) {
    if (!string1 || !string2) {
        errno = EINVAL;
        return INT_MAX;  // the CRT's _NLSCMPERROR
    }
    return FoldedCompare(string1, string2, SIZE_MAX);
}

int _wcsnicmp(const WCHAR* string1, const WCHAR* string2, size_t count) {
    if (count == 0)
        return 0;
    if (!string1 || !string2) {
        errno = EINVAL;
        return INT_MAX;
    }
    return FoldedCompare(string1, string2, count);
}

WCHAR* _wcslwr(WCHAR* str) {
    for (WCHAR* p = str; p && *p; ++p)
        *p = SimpleLower(*p);
    return str;
}

WCHAR* _wcsupr(WCHAR* str) {
    for (WCHAR* p = str; p && *p; ++p)
        *p = SimpleUpper(*p);
    return str;
}

int _wtoi(const WCHAR* str) {
    return static_cast<int>(DecimalToInteger(str, INT32_MIN, INT32_MAX));
}
LONG _wtol(const WCHAR* str) {
    return static_cast<LONG>(DecimalToInteger(str, INT32_MIN, INT32_MAX));
}
LONGLONG _wtoi64(const WCHAR* str) {
    return DecimalToInteger(str, INT64_MIN, INT64_MAX);
}

ULONG KvwinWcsToUl(const WCHAR* str, WCHAR** end, int base) {
    const Parsed p = ParseNumber(str, end, base, UINT32_MAX, UINT32_MAX);
    if (p.overflow)
        return UINT32_MAX;
    const auto v = static_cast<ULONG>(p.magnitude);
    return p.negative ? static_cast<ULONG>(0u - v) : v;
}

LONG KvwinWcsToL(const WCHAR* str, WCHAR** end, int base) {
    const Parsed p = ParseNumber(str, end, base, INT32_MAX, static_cast<ULONGLONG>(INT32_MAX) + 1);
    if (p.overflow)
        return p.negative ? INT32_MIN : INT32_MAX;
    return static_cast<LONG>(p.negative ? -static_cast<LONGLONG>(p.magnitude)
                                        : static_cast<LONGLONG>(p.magnitude));
}

ULONGLONG KvwinWcsToUi64(const WCHAR* str, WCHAR** end, int base) {
    const Parsed p = ParseNumber(str, end, base, UINT64_MAX, UINT64_MAX);
    if (p.overflow)
        return UINT64_MAX;
    return p.negative ? 0 - p.magnitude : p.magnitude;
}

WCHAR KvwinToLowerW(WCHAR c) {
    return SimpleLower(c);
}
WCHAR KvwinToUpperW(WCHAR c) {
    return SimpleUpper(c);
}
int KvwinIsSpaceW(WCHAR c) {
    return kvwin::text::IsSpace(c) ? 1 : 0;
}
int KvwinIsDigitW(WCHAR c) {
    return kvwin::text::IsDigit(c) ? 1 : 0;
}
int KvwinIsAlphaW(WCHAR c) {
    return kvwin::text::IsAlpha(c) ? 1 : 0;
}

LPWSTR CharUpperW(LPWSTR lpsz) {
    if (IsCharacterInPointer(lpsz)) {
        const auto c = static_cast<WCHAR>(reinterpret_cast<uintptr_t>(lpsz));
        return reinterpret_cast<LPWSTR>(static_cast<uintptr_t>(SimpleUpper(c)));
    }
    return _wcsupr(lpsz);
}

LPWSTR CharLowerW(LPWSTR lpsz) {
    if (IsCharacterInPointer(lpsz)) {
        const auto c = static_cast<WCHAR>(reinterpret_cast<uintptr_t>(lpsz));
        return reinterpret_cast<LPWSTR>(static_cast<uintptr_t>(SimpleLower(c)));
    }
    return _wcslwr(lpsz);
}

DWORD CharUpperBuffW(LPWSTR lpsz, DWORD cchLength) {
    if (!lpsz)
        return 0;
    for (DWORD i = 0; i < cchLength; ++i)
        lpsz[i] = SimpleUpper(lpsz[i]);
    return cchLength;
}

DWORD CharLowerBuffW(LPWSTR lpsz, DWORD cchLength) {
    if (!lpsz)
        return 0;
    for (DWORD i = 0; i < cchLength; ++i)
        lpsz[i] = SimpleLower(lpsz[i]);
    return cchLength;
}

BOOL IsCharAlphaW(WCHAR ch) {
    return kvwin::text::IsAlpha(ch) ? TRUE : FALSE;
}
BOOL IsCharAlphaNumericW(WCHAR ch) {
    return kvwin::text::IsAlpha(ch) || kvwin::text::IsDigit(ch) ? TRUE : FALSE;
}
BOOL IsCharUpperW(WCHAR ch) {
    return SimpleLower(ch) != ch ? TRUE : FALSE;
}
BOOL IsCharLowerW(WCHAR ch) {
    return SimpleUpper(ch) != ch ? TRUE : FALSE;
}

}  // extern "C"
