// MultiByteToWideChar and WideCharToMultiByte with Windows' validation and error rules.
#include <cstring>
#include <string>

#include "character_data.h"
#include "kvwin/last_error.h"
#include "kvwin/utf.h"
#include "win/text.h"

namespace {

using kvwin::FailWith;
using kvwin::text::SingleBytePage;

constexpr char16_t kReplacement = 0xFFFD;
constexpr UINT kUtf16LittleEndian = 1200;
constexpr UINT kUtf16BigEndian = 1201;

UINT ResolveCodePage(UINT code_page) {
    switch (code_page) {
        case CP_ACP:
        case CP_THREAD_ACP:
            return 1252;
        case CP_OEMCP:
            return 437;
        default:
            return code_page;
    }
}

bool InRange(unsigned char b, unsigned char lo, unsigned char hi) {
    return b >= lo && b <= hi;
}

// Decodes one UTF-8 sequence at s[0..n). Returns the bytes consumed (at least 1) and sets
// `cp`; an invalid sequence consumes its maximal valid prefix and sets `valid` false.
size_t DecodeUtf8(const unsigned char* s, size_t n, char32_t& cp, bool& valid) {
    const unsigned char b0 = s[0];
    valid = false;
    cp = kReplacement;
    if (b0 < 0x80) {
        valid = true;
        cp = b0;
        return 1;
    }
    size_t extra;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    char32_t value;
    if (InRange(b0, 0xC2, 0xDF)) {
        extra = 1, value = b0 & 0x1F;
    } else if (InRange(b0, 0xE0, 0xEF)) {
        extra = 2, value = b0 & 0x0F;
        if (b0 == 0xE0)
            lo = 0xA0;  // overlong below U+0800
        if (b0 == 0xED)
            hi = 0x9F;  // encoded surrogates
    } else if (InRange(b0, 0xF0, 0xF4)) {
        extra = 3, value = b0 & 0x07;
        if (b0 == 0xF0)
            lo = 0x90;  // overlong below U+10000
        if (b0 == 0xF4)
            hi = 0x8F;  // above U+10FFFF
    } else {
        return 1;  // continuation byte, C0/C1 (always overlong) or F5..FF
    }
    size_t i = 1;
    for (; i <= extra; ++i) {
        if (i >= n)
            return i;
        const unsigned char b = s[i];
        if (i == 1 ? !InRange(b, lo, hi) : !InRange(b, 0x80, 0xBF))
            return i;
        value = (value << 6) | (b & 0x3F);
    }
    valid = true;
    cp = value;
    return i;
}

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Copies a finished result out, or reports its size, as both functions do.
template <class Ch>
int Deliver(const std::basic_string<Ch>& result, Ch* out, int out_size) {
    if (result.size() > static_cast<size_t>(INT32_MAX))
        return FailWith(ERROR_ARITHMETIC_OVERFLOW);
    const int needed = static_cast<int>(result.size());
    if (out_size == 0)
        return needed;
    if (needed > out_size)
        return FailWith(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(out, result.data(), result.size() * sizeof(Ch));
    return needed;
}

int MultiByteToWideCharImpl(UINT code_page, DWORD flags, const char* in, int in_size, WCHAR* out,
                            int out_size) {
    if (!in || in_size == 0 || in_size < -1 || out_size < 0 || (out_size > 0 && !out) ||
        static_cast<const void*>(in) == static_cast<const void*>(out)) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    code_page = ResolveCodePage(code_page);
    const size_t length = in_size == -1 ? std::strlen(in) + 1 : static_cast<size_t>(in_size);
    const auto* bytes = reinterpret_cast<const unsigned char*>(in);
    const bool strict = (flags & MB_ERR_INVALID_CHARS) != 0;
    std::u16string result;
    result.reserve(length);

    if (code_page == CP_UTF8) {
        if (flags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS))
            return FailWith(ERROR_INVALID_FLAGS);
        for (size_t i = 0; i < length;) {
            char32_t cp;
            bool valid;
            i += DecodeUtf8(bytes + i, length - i, cp, valid);
            if (!valid && strict)
                return FailWith(ERROR_NO_UNICODE_TRANSLATION);
            kvwin::AppendUtf16(result, cp);
        }
        return Deliver(result, out, out_size);
    }
    const SingleBytePage* page = kvwin::text::FindSingleBytePage(code_page);
    if (!page)
        return FailWith(ERROR_INVALID_PARAMETER);
    result.reserve(length);
    constexpr DWORD kKnown =
        MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS;
    if ((flags & ~kKnown) || ((flags & MB_PRECOMPOSED) && (flags & MB_COMPOSITE))) {
        return FailWith(ERROR_INVALID_FLAGS);
    }
    for (size_t i = 0; i < length; ++i) {
        if (strict && !page->IsDefined(bytes[i]))
            return FailWith(ERROR_NO_UNICODE_TRANSLATION);
        result.push_back(page->ToUnicode(bytes[i]));
    }
    return Deliver(result, out, out_size);
}

int WideCharToMultiByteImpl(UINT code_page, DWORD flags, const WCHAR* in, int in_size, char* out,
                            int out_size, const char* default_char, BOOL* used_default) {
    if (!in || in_size == 0 || in_size < -1 || out_size < 0 || (out_size > 0 && !out) ||
        static_cast<const void*>(in) == static_cast<const void*>(out)) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    code_page = ResolveCodePage(code_page);
    const size_t length = in_size == -1 ? kvwin::WideLength(in) + 1 : static_cast<size_t>(in_size);
    std::string result;

    if (code_page == CP_UTF8) {
        if (flags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS))
            return FailWith(ERROR_INVALID_FLAGS);
        if (default_char || used_default)
            return FailWith(ERROR_INVALID_PARAMETER);
        const bool strict = (flags & WC_ERR_INVALID_CHARS) != 0;
        // At most three bytes per UTF-16 unit (four per surrogate pair, which is two units):
        // a buffer with that much room is written directly.
        const bool direct = out_size > 0 && static_cast<size_t>(out_size) / 3 >= length;
        if (!direct)
            result.resize(length * 3);
        char* const start = direct ? out : result.data();
        char* at = start;
        for (size_t i = 0; i < length; ++i) {
            char32_t c = in[i];
            if (c < 0x80) {
                *at++ = static_cast<char>(c);
                continue;
            }
            if (IsHighSurrogate(in[i]) && i + 1 < length && IsLowSurrogate(in[i + 1])) {
                c = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00);
                ++i;
            } else if (IsHighSurrogate(in[i]) || IsLowSurrogate(in[i])) {
                if (strict)
                    return FailWith(ERROR_NO_UNICODE_TRANSLATION);
                c = kReplacement;
            }
            if (c < 0x800) {
                *at++ = static_cast<char>(0xC0 | (c >> 6));
            } else {
                if (c < 0x10000) {
                    *at++ = static_cast<char>(0xE0 | (c >> 12));
                } else {
                    *at++ = static_cast<char>(0xF0 | (c >> 18));
                    *at++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
                }
                *at++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            }
            *at++ = static_cast<char>(0x80 | (c & 0x3F));
        }
        if (direct)
            return static_cast<int>(at - start);
        result.resize(static_cast<size_t>(at - start));
        return Deliver(result, out, out_size);
    }
    const SingleBytePage* page = kvwin::text::FindSingleBytePage(code_page);
    if (!page)
        return FailWith(ERROR_INVALID_PARAMETER);
    result.reserve(length);
    constexpr DWORD kKnown =
        WC_COMPOSITECHECK | WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR | WC_NO_BEST_FIT_CHARS;
    if (flags & ~kKnown)
        return FailWith(ERROR_INVALID_FLAGS);
    const bool best_fit = (flags & WC_NO_BEST_FIT_CHARS) == 0;
    const char fallback = default_char ? default_char[0] : '?';
    bool defaulted = false;
    for (size_t i = 0; i < length; ++i) {
        const char16_t c = in[i];
        if (IsHighSurrogate(c) && i + 1 < length && IsLowSurrogate(in[i + 1])) {
            ++i;  // a character beyond the BMP is one default character
        } else if (auto byte = page->FromUnicode(c, best_fit)) {
            result.push_back(static_cast<char>(*byte));
            continue;
        }
        result.push_back(fallback);
        defaulted = true;
    }
    if (used_default)
        *used_default = defaulted ? TRUE : FALSE;
    return Deliver(result, out, out_size);
}

bool IsRefusedUtf16(UINT code_page) {
    return code_page == kUtf16LittleEndian || code_page == kUtf16BigEndian;
}

}  // namespace

extern "C" {

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar) {
    try {
        if (IsRefusedUtf16(CodePage))
            return FailWith(ERROR_INVALID_PARAMETER);
        return MultiByteToWideCharImpl(CodePage, dwFlags, lpMultiByteStr, cbMultiByte,
                                       lpWideCharStr, cchWideChar);
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        LPBOOL lpUsedDefaultChar) {
    try {
        if (IsRefusedUtf16(CodePage))
            return FailWith(ERROR_INVALID_PARAMETER);
        return WideCharToMultiByteImpl(CodePage, dwFlags, lpWideCharStr, cchWideChar,
                                       lpMultiByteStr, cbMultiByte, lpDefaultChar,
                                       lpUsedDefaultChar);
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

UINT GetACP(void) {
    return 1252;
}
UINT GetOEMCP(void) {
    return 437;
}

BOOL IsValidCodePage(UINT CodePage) {
    return CodePage == CP_UTF8 || kvwin::text::FindSingleBytePage(CodePage) != nullptr;
}

}  // extern "C"
