// White space in the ASCII range (space, tab, line feed, vertical tab, form feed, carriage
// return), for the formats the platform and its components read: configuration lines,
// descriptor texts, monikers, /proc files. Other characters, wide spaces among them, are
// text.
#pragma once

#include <string_view>
#include <vector>

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

// The words of a line, split at runs of spaces and tabs (the fields of /proc tables and of
// package database entries).
inline std::vector<std::string_view> SplitAsciiWords(std::string_view text) {
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
            ++i;
        const size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t')
            ++i;
        if (i > start)
            words.push_back(text.substr(start, i - start));
    }
    return words;
}

}  // namespace kvwin
