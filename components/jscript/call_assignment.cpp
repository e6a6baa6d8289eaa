// Assignment to a call: the token-level rewrite described in call_assignment.h.
#include "call_assignment.h"

#include <algorithm>
#include <vector>

namespace kvjs {
namespace {

enum class Kind { kName, kPunctuator, kString, kNumber, kRegex };

struct Token {
    Kind kind;
    size_t begin;
    size_t end;
};

bool IsLineBreak(char16_t c) {
    return c == u'\n' || c == u'\r' || c == 0x2028 || c == 0x2029;
}

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f' || c == 0xA0 || c == 0xFEFF ||
           c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F || c == 0x205F ||
           c == 0x3000 || IsLineBreak(c);
}

bool IsNameChar(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'_' || c == u'$' || c == u'\\' || (c >= 0x80 && !IsBlank(c));
}

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// Longest first, so that the first match is the longest.
constexpr std::u16string_view kPunctuators[] = {
    u">>>=", u"===", u"!==", u">>>", u"<<=", u">>=", u"==", u"!=", u"<=", u">=", u"&&", u"||",
    u"++",   u"--",  u"+=",  u"-=",  u"*=",  u"/=",  u"%=", u"&=", u"|=", u"^=", u"<<", u">>"};

constexpr std::u16string_view kAssignments[] = {u"=",   u"+=",  u"-=",   u"*=", u"/=", u"%=",
                                                u"<<=", u">>=", u">>>=", u"&=", u"|=", u"^="};

// Words after which a '/' starts a regular expression.
constexpr std::u16string_view kRegexAfter[] = {u"return", u"typeof", u"instanceof", u"in",
                                               u"new",    u"delete", u"void",       u"throw",
                                               u"case",   u"do",     u"else"};

// Words that are not a callee when a parenthesis follows them.
constexpr std::u16string_view kNotCallees[] = {
    u"if",     u"while",  u"for",  u"switch", u"catch", u"with",       u"function",
    u"return", u"typeof", u"void", u"delete", u"in",    u"instanceof", u"new",
    u"case",   u"throw",  u"do",   u"else",   u"var"};

template <size_t N>
bool OneOf(std::u16string_view word, const std::u16string_view (&words)[N]) {
    return std::find(std::begin(words), std::end(words), word) != std::end(words);
}

class Tokenizer {
  public:
    explicit Tokenizer(std::u16string_view text) : in_(text) {}

    // Every token of the text; an unterminated string, comment or regular expression ends
    // at the end of the text (the compiler then reports it).
    std::vector<Token> Run() {
        std::vector<Token> tokens;
        while (SkipBlanksAndComments()) {
            const size_t begin = pos_;
            const Kind kind = Next(tokens);
            tokens.push_back({kind, begin, pos_});
        }
        return tokens;
    }

  private:
    // False at the end of the text.
    bool SkipBlanksAndComments() {
        while (pos_ < in_.size()) {
            const char16_t c = in_[pos_];
            if (IsBlank(c)) {
                ++pos_;
            } else if (c == u'/' && At(1) == u'/') {
                while (pos_ < in_.size() && !IsLineBreak(in_[pos_]))
                    ++pos_;
            } else if (c == u'/' && At(1) == u'*') {
                const size_t end = in_.find(u"*/", pos_ + 2);
                pos_ = end == std::u16string_view::npos ? in_.size() : end + 2;
            } else {
                return true;
            }
        }
        return false;
    }

    char16_t At(size_t offset) const { return pos_ + offset < in_.size() ? in_[pos_ + offset] : 0; }

    bool RegexMayStart(const std::vector<Token>& tokens) const {
        if (tokens.empty())
            return true;
        const Token& last = tokens.back();
        const std::u16string_view text = in_.substr(last.begin, last.end - last.begin);
        if (last.kind == Kind::kPunctuator)
            return text != u")" && text != u"]";
        return last.kind == Kind::kName && OneOf(text, kRegexAfter);
    }

    Kind Next(const std::vector<Token>& tokens) {
        const char16_t c = in_[pos_];
        if (c == u'\'' || c == u'"') {
            ++pos_;
            while (pos_ < in_.size() && in_[pos_] != c && !IsLineBreak(in_[pos_]))
                pos_ += in_[pos_] == u'\\' ? 2 : 1;
            pos_ = std::min(pos_ + 1, in_.size());
            return Kind::kString;
        }
        if (IsDigit(c) || (c == u'.' && IsDigit(At(1)))) {
            while (pos_ < in_.size() && (IsNameChar(in_[pos_]) || in_[pos_] == u'.' ||
                                         ((in_[pos_] == u'+' || in_[pos_] == u'-') &&
                                          (in_[pos_ - 1] == u'e' || in_[pos_ - 1] == u'E'))))
                ++pos_;
            return Kind::kNumber;
        }
        if (IsNameChar(c)) {
            while (pos_ < in_.size() && IsNameChar(in_[pos_]))
                pos_ += in_[pos_] == u'\\' ? 2 : 1;
            pos_ = std::min(pos_, in_.size());
            return Kind::kName;
        }
        if (c == u'/' && RegexMayStart(tokens)) {
            ++pos_;
            bool in_class = false;
            while (pos_ < in_.size() && !IsLineBreak(in_[pos_]) &&
                   (in_class || in_[pos_] != u'/')) {
                if (in_[pos_] == u'\\')
                    ++pos_;
                else if (in_[pos_] == u'[')
                    in_class = true;
                else if (in_[pos_] == u']')
                    in_class = false;
                ++pos_;
            }
            pos_ = std::min(pos_ + 1, in_.size());
            while (pos_ < in_.size() && IsNameChar(in_[pos_]))  // the flags
                ++pos_;
            return Kind::kRegex;
        }
        for (std::u16string_view p : kPunctuators) {
            if (in_.substr(pos_, p.size()) == p) {
                pos_ += p.size();
                return Kind::kPunctuator;
            }
        }
        ++pos_;
        return Kind::kPunctuator;
    }

    std::u16string_view in_;
    size_t pos_ = 0;
};

struct Edit {
    size_t begin;
    size_t end;  // the text begin..end is replaced
    std::u16string text;
};

constexpr char16_t kKey[] = u"[\"\\u0001kvput\"](";

}  // namespace

std::u16string RewriteCallAssignments(std::u16string_view text) {
    const std::vector<Token> tokens = Tokenizer(text).Run();
    auto word = [&](size_t i) {
        return text.substr(tokens[i].begin, tokens[i].end - tokens[i].begin);
    };
    auto is = [&](size_t i, std::u16string_view p) {
        return tokens[i].kind == Kind::kPunctuator && word(i) == p;
    };
    // The opening bracket of each closing one (the token's own index when unmatched).
    std::vector<size_t> opening(tokens.size());
    std::vector<size_t> open;
    std::vector<Edit> edits;
    for (size_t i = 0; i < tokens.size(); ++i) {
        opening[i] = i;
        if (is(i, u"(") || is(i, u"[") || is(i, u"{")) {
            open.push_back(i);
            continue;
        }
        if (!(is(i, u")") || is(i, u"]") || is(i, u"}")) || open.empty())
            continue;
        const size_t o = open.back();
        open.pop_back();
        opening[i] = o;
        if (!is(i, u")") || !is(o, u"(") || o == 0 || i + 1 >= tokens.size() ||
            tokens[i + 1].kind != Kind::kPunctuator || !OneOf(word(i + 1), kAssignments))
            continue;
        // A call: the parenthesis follows a name that is not a keyword, or a closing bracket.
        const size_t callee = o - 1;
        const bool after_name =
            tokens[callee].kind == Kind::kName && !OneOf(word(callee), kNotCallees);
        if (!after_name && !is(callee, u")") && !is(callee, u"]"))
            continue;
        const bool no_arguments = o + 1 == i;
        const Token& paren = tokens[o];
        if (after_name && callee > 0 && is(callee - 1, u".")) {
            // A.name(args) → A[K]("name", args)
            const Token& dot = tokens[callee - 1];
            edits.push_back({dot.begin, dot.end, kKey});
            edits.push_back({tokens[callee].begin, tokens[callee].end,
                             u"\"" + std::u16string(word(callee)) + u"\""});
            edits.push_back({paren.begin, paren.end, no_arguments ? u"" : u","});
        } else if (is(callee, u"]") && opening[callee] != callee) {
            // A[expr](args) → A[K]((expr), args)
            const Token& bracket = tokens[opening[callee]];
            edits.push_back({bracket.begin, bracket.end, std::u16string(kKey) + u"("});
            edits.push_back({tokens[callee].begin, tokens[callee].end, u")"});
            edits.push_back({paren.begin, paren.end, no_arguments ? u"" : u","});
        } else {
            // f(args) → f[K](undefined, args)
            edits.push_back({paren.begin, paren.end,
                             std::u16string(kKey) + (no_arguments ? u"undefined" : u"undefined,")});
        }
        edits.push_back({tokens[i].end, tokens[i].end, u".value"});
    }
    if (edits.empty())
        return std::u16string(text);
    std::stable_sort(edits.begin(), edits.end(),
                     [](const Edit& a, const Edit& b) { return a.begin < b.begin; });
    std::u16string out;
    out.reserve(text.size() + edits.size() * 16);
    size_t at = 0;
    for (const Edit& e : edits) {
        out.append(text.substr(at, e.begin - at));
        out += e.text;
        at = e.end;
    }
    out.append(text.substr(at));
    return out;
}

}  // namespace kvjs
