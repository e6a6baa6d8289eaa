// Splitting and quoting command-line words.
#include "command_line_words.h"

namespace kvwin {

namespace {

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

// The program name: a quoted run up to the next quote, or a run up to the next blank.
size_t ReadProgramWord(std::u16string_view text, size_t at, std::u16string& word) {
    if (text[at] == u'"') {
        const size_t close = text.find(u'"', at + 1);
        const size_t end = close == std::u16string_view::npos ? text.size() : close;
        word.assign(text.substr(at + 1, end - at - 1));
        return close == std::u16string_view::npos ? end : close + 1;
    }
    size_t end = at;
    while (end < text.size() && !IsBlank(text[end]))
        ++end;
    word.assign(text.substr(at, end - at));
    return end;
}

size_t ReadWord(std::u16string_view text, size_t at, std::u16string& word) {
    bool quoted = false;
    size_t i = at;
    while (i < text.size()) {
        const char16_t c = text[i];
        if (c == u'\\') {
            size_t slashes = 0;
            while (i < text.size() && text[i] == u'\\') {
                ++slashes;
                ++i;
            }
            if (i < text.size() && text[i] == u'"') {
                word.append(slashes / 2, u'\\');
                if (slashes % 2 == 1) {
                    word.push_back(u'"');
                    ++i;
                }
                // An even run leaves the quote to the next round, where it opens or closes.
            } else {
                word.append(slashes, u'\\');
            }
            continue;
        }
        if (c == u'"') {
            if (quoted && i + 1 < text.size() && text[i + 1] == u'"') {
                word.push_back(u'"');
                i += 2;
                continue;
            }
            quoted = !quoted;
            ++i;
            continue;
        }
        if (!quoted && IsBlank(c))
            break;
        word.push_back(c);
        ++i;
    }
    return i;
}

}  // namespace

std::vector<std::u16string> SplitCommandLine(std::u16string_view text, bool firstIsProgram) {
    std::vector<std::u16string> words;
    size_t i = 0;
    bool first = firstIsProgram;
    if (first && !text.empty() && IsBlank(text[0])) {
        // A command line that starts with a blank has an empty program name.
        words.emplace_back();
        first = false;
    }
    for (;;) {
        while (i < text.size() && IsBlank(text[i]))
            ++i;
        if (i >= text.size())
            break;
        std::u16string word;
        i = first ? ReadProgramWord(text, i, word) : ReadWord(text, i, word);
        first = false;
        words.push_back(std::move(word));
    }
    return words;
}

std::u16string QuoteCommandLineWord(std::u16string_view word) {
    if (!word.empty() && word.find_first_of(u" \t\"") == std::u16string_view::npos)
        return std::u16string(word);
    std::u16string quoted = u"\"";
    size_t slashes = 0;
    for (const char16_t c : word) {
        if (c == u'\\') {
            ++slashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote itself escaped.
        quoted.append(c == u'"' ? slashes * 2 + 1 : slashes, u'\\');
        slashes = 0;
        quoted.push_back(c);
    }
    quoted.append(slashes * 2, u'\\');  // before the closing quote
    quoted.push_back(u'"');
    return quoted;
}

}  // namespace kvwin
