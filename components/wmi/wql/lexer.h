// Splits WQL text into tokens. Keywords are not told apart here: they are identifiers that
// the parser compares case-insensitively. Pure functions, thread safe.
//
//   identifier  a letter, `_` or any non-ASCII character, then those and digits
//   string      '...' or "..."; a backslash takes the next character as it is (\' \" \\)
//   number      digits with an optional fraction and exponent; a `-` or `+` directly before
//               a digit belongs to the number
//   operators   = <> != < > <= >=, and the punctuation * , ( )
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kvwmi::wql {

enum class TokenKind {
    Identifier,
    String,
    Number,
    Operator,
    Star,
    Comma,
    OpenParen,
    CloseParen,
    End
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::u16string text;  // the identifier, the string's value, the number or operator as written
    size_t offset = 0;    // where it starts in the query text
};

// False (with the offset of the offending character) for an unterminated string or a
// character that starts no token.
bool Tokenize(std::u16string_view text, std::vector<Token>& tokens, size_t& error_offset);

}  // namespace kvwmi::wql
