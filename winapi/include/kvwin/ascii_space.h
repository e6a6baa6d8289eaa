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

// The next word of `text` at or after `pos` (words are split at runs of spaces and tabs: the
// fields of /proc tables and of package database entries and logs), with `pos` moved past it;
// empty when no word is left.
constexpr std::string_view NextAsciiWord(std::string_view text, size_t& pos) {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
        ++pos;
    const size_t start = pos;
    while (pos < text.size() && text[pos] != ' ' && text[pos] != '\t')
        ++pos;
    return text.substr(start, pos - start);
}

// The words of a line.
inline std::vector<std::string_view> SplitAsciiWords(std::string_view text) {
    std::vector<std::string_view> words;
    size_t pos = 0;
    for (std::string_view word = NextAsciiWord(text, pos); !word.empty();
         word = NextAsciiWord(text, pos))
        words.push_back(word);
    return words;
}

// The first N words of a line into `words`, with no allocation; the count of all its words,
// or N + 1 when there are more than N.
template <size_t N>
constexpr size_t SplitAsciiWords(std::string_view text, std::string_view (&words)[N]) {
    size_t count = 0, pos = 0;
    for (std::string_view word = NextAsciiWord(text, pos); !word.empty();
         word = NextAsciiWord(text, pos)) {
        if (count == N)
            return N + 1;
        words[count++] = word;
    }
    return count;
}

}  // namespace kvwin
