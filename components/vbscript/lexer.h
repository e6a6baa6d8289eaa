// The lexer: script text to tokens. Keywords are identifiers here (the parser knows them,
// and a keyword after a dot is a member name); `:` and line ends are both statement ends;
// `_` at a line's end continues it; `'` and Rem comments are dropped. The engine's thread
// only; throws a compile ScriptError for a text it cannot read (an unterminated string, a
// bad number).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "value.h"

namespace kvvbs {

enum class Tok : uint8_t { End, Newline, Ident, Number, String, Date, Op };

struct Token {
    Tok type = Tok::End;
    bool space_before = false;  // whitespace right before it (`a .b` versus `a.b`)
    std::u16string text;        // identifier as written, string contents, operator
    std::u16string lower;       // identifier in lower case
    Value number;               // Number and Date literals
    unsigned line = 0;          // zero-based, within the block
    unsigned column = 0;        // zero-based
    bool Is(std::u16string_view op) const { return type == Tok::Op && text == op; }
    bool IsWord(std::u16string_view lower_word) const {
        return type == Tok::Ident && lower == lower_word;
    }
};

std::vector<Token> Tokenize(std::u16string_view text);

// Lower-cases ASCII letters (names compare without regard to case).
std::u16string LowerName(std::u16string_view name);

}  // namespace kvvbs
