// A text stream's place: the position of the next character a script reads in the stream's
// text, and the Line and Column it reports (both from 1; a '\n' starts a new line). Plain
// state of one stream object, used by one thread at a time as the object is.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace kvscripting {

struct TextPlace {
    size_t pos = 0;
    long line = 1;
    long column = 1;

    // Moves the line and column past `text` (read or written).
    void Pass(std::u16string_view text) {
        for (char16_t c : text) {
            if (c == u'\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
    }

    // Takes up to n characters of `text` from pos, moving past them; returns them.
    std::u16string Take(const std::u16string& text, size_t n) {
        std::u16string taken = text.substr(pos, std::min(n, text.size() - pos));
        pos += taken.size();
        Pass(taken);
        return taken;
    }

    // Takes the rest of the line, through its '\n' or to the end of `text`; returns it
    // without the "\n" or "\r\n" that ends it.
    std::u16string TakeLine(const std::u16string& text) {
        const size_t end = text.find(u'\n', pos);
        std::u16string line = Take(text, end == std::u16string::npos ? text.size() : end + 1 - pos);
        if (!line.empty() && line.back() == u'\n')
            line.pop_back();
        if (!line.empty() && line.back() == u'\r')
            line.pop_back();
        return line;
    }
};

}  // namespace kvscripting
