// White space in the ASCII range (space, tab, line feed, vertical tab, form feed, carriage
// return), for the formats the platform and its components read: configuration lines,
// descriptor texts, monikers, /proc files. Other characters, wide spaces among them, are
// text.
#pragma once

#include <string_view>

namespace kvwin {

template <class Ch>
constexpr bool IsAsciiSpace(Ch c) {
    return c == Ch(' ') || (c >= Ch('\t') && c <= Ch('\r'));
}

template <class Ch>
constexpr std::basic_string_view<Ch> TrimAsciiSpace(std::basic_string_view<Ch> text) {
    while (!text.empty() && IsAsciiSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsAsciiSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// The overloads let a std::string or a literal convert.
constexpr std::string_view TrimAsciiSpace(std::string_view text) {
    return TrimAsciiSpace<char>(text);
}
constexpr std::u16string_view TrimAsciiSpace(std::u16string_view text) {
    return TrimAsciiSpace<char16_t>(text);
}

}  // namespace kvwin
