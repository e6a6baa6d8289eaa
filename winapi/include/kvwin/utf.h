// UTF-8 and UTF-16 conversion at the operating-system boundary.
//
// These are the layer's internal, lenient conversions: malformed input becomes U+FFFD and
// nothing fails. The Windows conversion functions with their exact error rules are
// WideCharToMultiByte and MultiByteToWideChar (win/text.h).
#pragma once

#include <string>
#include <string_view>

#include "kvwin/wide_string.h"
#include "win/types.h"

namespace kvwin {

KVWIN_API std::string ToUtf8(WStringView text);
// The strict form, for formats that must not carry a lone surrogate (XML): false at the first
// one, with its index in `bad_index`; `out` then holds the text before it.
KVWIN_API bool ToUtf8Strict(WStringView text, std::string& out, size_t* bad_index = nullptr);
KVWIN_API WString FromUtf8(std::string_view text);
// FromUtf8's text appended to `out` (several pieces built into one string, or a buffer kept
// between conversions).
KVWIN_API void AppendFromUtf8(WString& out, std::string_view text);

// One code point (at most U+10FFFF, not a surrogate) appended in each encoding.
KVWIN_API void AppendUtf8(std::string& out, char32_t codePoint);
KVWIN_API void AppendUtf16(WString& out, char32_t codePoint);

// Length of a NUL-terminated wide string; 0 for nullptr.
inline size_t WideLength(const WCHAR* s) {
    size_t n = 0;
    if (s) {
        while (s[n])
            ++n;
    }
    return n;
}

inline WStringView WideView(const WCHAR* s) {
    return {s ? s : TEXT(""), WideLength(s)};
}

inline std::string ToUtf8(const WCHAR* s) {
    return ToUtf8(WideView(s));
}

}  // namespace kvwin
