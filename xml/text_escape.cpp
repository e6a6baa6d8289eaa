#include "xml/text_escape.h"

#include <algorithm>

#include "kvwin/wide_string.h"
#include "win/text.h"

namespace {

size_t Length(const WCHAR* text) {
    size_t n = 0;
    while (text[n])
        ++n;
    return n;
}

}  // namespace

void ReplaceAll(WString& text, const WCHAR* find, const WCHAR* replacement, bool caseSensitive) {
    if (!find || !*find)
        return;
    const size_t findLength = Length(find);
    const size_t replacementLength = replacement ? Length(replacement) : 0;

    WString result;
    if (replacementLength > findLength) {
        // Grow in steps of a tenth of the input (at least 1024) when that covers a
        // replacement, else four replacements at a time.
        const size_t tenth = std::max<size_t>(text.size() / 10, 1024);
        const size_t step = tenth >= replacementLength ? tenth : 4 * replacementLength;
        result.reserve(text.size() + step);
    } else {
        result.reserve(text.size());
    }

    const WCHAR* const data = text.c_str();
    size_t at = 0;
    while (at < text.size()) {
        const bool fits = text.size() - at >= findLength;
        const bool match = fits && (caseSensitive ? std::char_traits<WCHAR>::compare(
                                                        data + at, find, findLength) == 0
                                                  : _wcsnicmp(data + at, find, findLength) == 0);
        if (match) {
            result.append(replacement ? replacement : TEXT(""), replacementLength);
            at += findLength;
        } else {
            result.push_back(data[at++]);
        }
    }
    text.swap(result);
}

void EscapeXmlString(WString& text) {
    ReplaceAll(text, TEXT("&"), TEXT("&amp;"), true);
    ReplaceAll(text, TEXT(">"), TEXT("&gt;"), true);
    ReplaceAll(text, TEXT("<"), TEXT("&lt;"), true);
    ReplaceAll(text, TEXT("\""), TEXT("&quot;"), true);
    ReplaceAll(text, TEXT("'"), TEXT("&apos;"), true);
}

void EscapeCDataString(WString& text) {
    ReplaceAll(text, TEXT("]]&"), TEXT("]]&amp;"), true);
    ReplaceAll(text, TEXT("]]>"), TEXT("]]&gt;"), true);
}
