// CESU-8 coding for script strings.
#include "text.h"

namespace kvjs {

void PushText(duk_context* ctx, std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size() * 3);
    for (char16_t c : text) {
        if (c < 0x80) {
            bytes += char(c);
        } else if (c < 0x800) {
            bytes += char(0xC0 | (c >> 6));
            bytes += char(0x80 | (c & 0x3F));
        } else {
            bytes += char(0xE0 | (c >> 12));
            bytes += char(0x80 | ((c >> 6) & 0x3F));
            bytes += char(0x80 | (c & 0x3F));
        }
    }
    duk_push_lstring(ctx, bytes.data(), bytes.size());
}

std::u16string GetText(duk_context* ctx, duk_idx_t idx) {
    duk_size_t len = 0;
    duk_dup(ctx, idx);
    const unsigned char* p =
        reinterpret_cast<const unsigned char*>(duk_safe_to_lstring(ctx, -1, &len));
    std::u16string out;
    out.reserve(len);
    for (duk_size_t i = 0; i < len;) {
        unsigned char b = p[i];
        char32_t cp;
        size_t n;
        if (b < 0x80) {
            cp = b, n = 1;
        } else if ((b & 0xE0) == 0xC0) {
            cp = b & 0x1F, n = 2;
        } else if ((b & 0xF0) == 0xE0) {
            cp = b & 0x0F, n = 3;
        } else if ((b & 0xF8) == 0xF0) {
            cp = b & 0x07, n = 4;
        } else {
            out += u'\xFFFD';
            ++i;
            continue;
        }
        if (i + n > len) {
            out += u'\xFFFD';
            break;
        }
        for (size_t k = 1; k < n; ++k)
            cp = (cp << 6) | (p[i + k] & 0x3F);
        i += n;
        if (cp >= 0x10000) {  // a four-byte sequence from outside: a surrogate pair
            cp -= 0x10000;
            out += char16_t(0xD800 + (cp >> 10));
            out += char16_t(0xDC00 + (cp & 0x3FF));
        } else {
            out += char16_t(cp);
        }
    }
    duk_pop(ctx);
    return out;
}

}  // namespace kvjs
