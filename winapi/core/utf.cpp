// Lenient UTF-8 <-> UTF-16 conversion for the operating-system boundary.
#include "kvwin/utf.h"

#include <cstdint>
#include <cstring>

namespace kvwin {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void AppendUtf16(WString& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<WCHAR>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<WCHAR>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<WCHAR>(0xDC00 + (cp & 0x3FF)));
    }
}

namespace {

// Encodes `text`; a lone surrogate becomes U+FFFD, or ends the conversion (false, with its
// index) when `strict`.
bool EncodeUtf8(WStringView text, std::string& out, bool strict, size_t* bad_index) {
    out.clear();
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            if (strict) {
                if (bad_index)
                    *bad_index = i;
                return false;
            }
            c = kReplacement;
        }
        AppendUtf8(out, c);
    }
    return true;
}

}  // namespace

std::string ToUtf8(WStringView text) {
    std::string out;
    EncodeUtf8(text, out, false, nullptr);
    return out;
}

bool ToUtf8Strict(WStringView text, std::string& out, size_t* bad_index) {
    return EncodeUtf8(text, out, true, bad_index);
}

void AppendFromUtf8(WString& out, std::string_view text) {
    // No byte gives more than one UTF-16 unit (four give two): room for the longest result is
    // made first, the units written in place, the string cut to what was written.
    const size_t start = out.size();
    out.resize(start + text.size());
    WCHAR* const first = out.data() + start;
    WCHAR* to = first;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const size_t size = text.size();
    size_t i = 0;
    while (i < size) {
        // Most text is ASCII: eight bytes at a time while none has its high bit set.
        while (i + 8 <= size) {
            std::uint64_t word;
            std::memcpy(&word, bytes + i, sizeof word);
            if (word & 0x8080808080808080ULL)
                break;
            // Spelt out so the compiler widens the eight in a few vector instructions.
            const unsigned char* from = bytes + i;
            to[0] = from[0], to[1] = from[1], to[2] = from[2], to[3] = from[3];
            to[4] = from[4], to[5] = from[5], to[6] = from[6], to[7] = from[7];
            to += 8;
            i += 8;
        }
        if (i == size)
            break;
        const unsigned char b0 = bytes[i];
        if (b0 < 0x80) {
            *to++ = b0;
            ++i;
            continue;
        }
        int extra = 0;
        char32_t cp = 0;
        char32_t min = 0;
        if ((b0 & 0xE0) == 0xC0) {
            extra = 1, cp = b0 & 0x1F, min = 0x80;
        } else if ((b0 & 0xF0) == 0xE0) {
            extra = 2, cp = b0 & 0x0F, min = 0x800;
        } else if ((b0 & 0xF8) == 0xF0) {
            extra = 3, cp = b0 & 0x07, min = 0x10000;
        } else {
            *to++ = static_cast<WCHAR>(kReplacement);
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool ok = true;
        for (int k = 0; k < extra; ++k, ++j) {
            if (j >= size || (bytes[j] & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (bytes[j] & 0x3F);
        }
        if (!ok || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            // One replacement for the lead byte and the continuation bytes that followed it.
            *to++ = static_cast<WCHAR>(kReplacement);
            i = ok ? j : (j > i + 1 ? j : i + 1);
            continue;
        }
        if (cp < 0x10000) {
            *to++ = static_cast<WCHAR>(cp);
        } else {
            cp -= 0x10000;
            *to++ = static_cast<WCHAR>(0xD800 + (cp >> 10));
            *to++ = static_cast<WCHAR>(0xDC00 + (cp & 0x3FF));
        }
        i = j;
    }
    out.resize(start + static_cast<size_t>(to - first));
}

WString FromUtf8(std::string_view text) {
    WString out;
    AppendFromUtf8(out, text);
    return out;
}

}  // namespace kvwin
