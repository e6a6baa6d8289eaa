#include "wql/lexer.h"

namespace kvwmi::wql {

namespace {

bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f' || c == u'\v';
}
bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}
bool IsIdentifierStart(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c >= 0x80;
}
bool IsIdentifierPart(char16_t c) {
    return IsIdentifierStart(c) || IsDigit(c);
}

// The end of a number starting at `i` (after an optional sign), or `i` when none starts.
size_t ScanNumber(std::u16string_view text, size_t i) {
    size_t start = i;
    while (i < text.size() && IsDigit(text[i]))
        ++i;
    bool digits = i > start;
    if (i < text.size() && text[i] == u'.') {
        size_t fraction = i + 1;
        while (fraction < text.size() && IsDigit(text[fraction]))
            ++fraction;
        if (fraction > i + 1 || digits) {
            digits = digits || fraction > i + 1;
            i = fraction;
        }
    }
    if (!digits)
        return start;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        size_t exponent = i + 1;
        if (exponent < text.size() && (text[exponent] == u'+' || text[exponent] == u'-'))
            ++exponent;
        size_t first = exponent;
        while (exponent < text.size() && IsDigit(text[exponent]))
            ++exponent;
        if (exponent > first)
            i = exponent;
    }
    return i;
}

}  // namespace

bool Tokenize(std::u16string_view text, std::vector<Token>& tokens, size_t& error_offset) {
    tokens.clear();
    size_t i = 0;
    while (true) {
        while (i < text.size() && IsSpace(text[i]))
            ++i;
        Token token;
        token.offset = i;
        if (i == text.size()) {
            tokens.push_back(std::move(token));
            return true;
        }
        char16_t c = text[i];
        if (IsIdentifierStart(c)) {
            size_t end = i + 1;
            while (end < text.size() && IsIdentifierPart(text[end]))
                ++end;
            token.kind = TokenKind::Identifier;
            token.text.assign(text.substr(i, end - i));
            i = end;
        } else if (c == u'\'' || c == u'"') {
            size_t j = i + 1;
            bool closed = false;
            while (j < text.size()) {
                if (text[j] == u'\\' && j + 1 < text.size()) {
                    token.text.push_back(text[j + 1]);
                    j += 2;
                } else if (text[j] == c) {
                    closed = true;
                    ++j;
                    break;
                } else {
                    token.text.push_back(text[j++]);
                }
            }
            if (!closed) {
                error_offset = i;
                return false;
            }
            token.kind = TokenKind::String;
            i = j;
        } else if (size_t sign = (c == u'-' || c == u'+') ? 1 : 0, end = ScanNumber(text, i + sign);
                   end > i + sign) {
            token.kind = TokenKind::Number;
            token.text.assign(text.substr(i, end - i));
            i = end;
        } else if (c == u'*' || c == u',' || c == u'(' || c == u')') {
            token.kind = c == u'*'   ? TokenKind::Star
                         : c == u',' ? TokenKind::Comma
                         : c == u'(' ? TokenKind::OpenParen
                                     : TokenKind::CloseParen;
            token.text.assign(1, c);
            ++i;
        } else if (c == u'=' || c == u'<' || c == u'>' || c == u'!') {
            size_t length = 1;
            char16_t next = i + 1 < text.size() ? text[i + 1] : u'\0';
            if ((c == u'<' && (next == u'>' || next == u'=')) || (c == u'>' && next == u'=') ||
                (c == u'!' && next == u'='))
                length = 2;
            else if (c == u'!') {
                error_offset = i;
                return false;
            }
            token.kind = TokenKind::Operator;
            token.text.assign(text.substr(i, length));
            i += length;
        } else {
            error_offset = i;
            return false;
        }
        tokens.push_back(std::move(token));
    }
}

}  // namespace kvwmi::wql
