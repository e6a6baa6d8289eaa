#include "wql/parser.h"

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include "kvwin/ascii_case.h"
#include "kvwin/utf.h"
#include "wql/lexer.h"

namespace kvwmi::wql {

namespace {

// Thrown inside the parser only; Parse turns it into a ParseError.
struct Failure {
    size_t offset;
    std::string message;
};

bool IsKeyword(const Token& token, std::u16string_view keyword) {
    return token.kind == TokenKind::Identifier && kvwin::EqualsAsciiNoCase(token.text, keyword);
}

bool IsReserved(const Token& token) {
    for (std::u16string_view word : {u"SELECT", u"FROM", u"WHERE", u"AND", u"OR", u"NOT", u"LIKE",
                                     u"IS", u"NULL", u"TRUE", u"FALSE"}) {
        if (IsKeyword(token, word))
            return true;
    }
    return false;
}

Literal NumberLiteral(const std::u16string& text) {
    Literal literal;
    literal.text = text;
    std::string narrow = kvwin::ToUtf8(text);
    bool integral = narrow.find_first_of(".eE") == std::string::npos;
    literal.real = std::strtod(narrow.c_str(), nullptr);
    if (integral) {
        const char* digits = narrow.c_str();
        literal.negative = *digits == '-';
        if (*digits == '-' || *digits == '+')
            ++digits;
        errno = 0;
        literal.magnitude = std::strtoull(digits, nullptr, 10);
        // Integers past 64 bits are kept as reals, with the precision a double has.
        literal.kind = errno == ERANGE ? Literal::Kind::Real : Literal::Kind::Integer;
        if (literal.negative && literal.magnitude == 0)
            literal.negative = false;
    } else {
        literal.kind = Literal::Kind::Real;
    }
    return literal;
}

CompareOp Mirror(CompareOp op) {
    switch (op) {
        case CompareOp::Less:
            return CompareOp::Greater;
        case CompareOp::Greater:
            return CompareOp::Less;
        case CompareOp::LessOrEqual:
            return CompareOp::GreaterOrEqual;
        case CompareOp::GreaterOrEqual:
            return CompareOp::LessOrEqual;
        default:
            return op;
    }
}

bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f' || c == u'\v';
}

bool IsWordChar(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'_' || c >= 0x80;
}

std::u16string_view Word(std::u16string_view text, size_t& i) {
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    const size_t start = i;
    while (i < text.size() && IsWordChar(text[i]))
        ++i;
    return text.substr(start, i - start);
}

// Reads "ASSOCIATORS OF {path}" or "REFERENCES OF {path}" at the start of the text into
// `query` and returns the offset just after the closing brace; npos when the text starts
// with another word (a SELECT query). Throws Failure when the head is malformed.
size_t AssociationHead(std::u16string_view text, Query& query) {
    size_t i = 0;
    const std::u16string_view first = Word(text, i);
    if (kvwin::EqualsAsciiNoCase(first, u"ASSOCIATORS"))
        query.kind = QueryKind::Associators;
    else if (kvwin::EqualsAsciiNoCase(first, u"REFERENCES"))
        query.kind = QueryKind::References;
    else
        return std::u16string_view::npos;
    if (!kvwin::EqualsAsciiNoCase(Word(text, i), u"OF"))
        throw Failure{i, "expected OF"};
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    if (i == text.size() || text[i] != u'{')
        throw Failure{i, "expected { and an object path"};
    const size_t open = i++;
    char16_t quote = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (quote) {
            if (c == u'\\' && i + 1 < text.size())
                ++i;
            else if (c == quote)
                quote = 0;
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u'}') {
            break;
        }
    }
    if (i == text.size())
        throw Failure{open, "the object path has no closing }"};
    std::u16string_view path = text.substr(open + 1, i - open - 1);
    size_t lead = 0;
    while (lead < path.size() && IsSpace(path[lead]))
        ++lead;
    path.remove_prefix(lead);
    while (!path.empty() && IsSpace(path.back()))
        path.remove_suffix(1);
    if (path.empty())
        throw Failure{open + 1, "expected an object path"};
    query.association.object_path.assign(path);
    query.association.path_offset = open + 1 + lead;
    return i + 1;
}

class Parser {
  public:
    explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

    // The WHERE part of an ASSOCIATORS OF or REFERENCES OF query, after the braces.
    void ParseAssociationTail(Query& query) {
        AssociationClause& clause = query.association;
        const bool associators = query.kind == QueryKind::Associators;
        if (IsKeyword(Peek(), u"WHERE")) {
            Advance();
            if (Peek().kind == TokenKind::End)
                Fail("expected a keyword after WHERE");
        }
        while (Peek().kind != TokenKind::End) {
            if (Peek().kind != TokenKind::Identifier)
                Fail("expected an ASSOCIATORS OF or REFERENCES OF keyword");
            const Token& word = Advance();
            bool* flag = IsKeyword(word, u"ClassDefsOnly") ? &clause.class_defs_only
                         : IsKeyword(word, u"KeysOnly")    ? &clause.keys_only
                                                           : nullptr;
            if (flag) {
                if (*flag)
                    Fail("a keyword stands twice");
                *flag = true;
                continue;
            }
            std::u16string* value = nullptr;
            if (IsKeyword(word, u"ResultClass"))
                value = &clause.result_class;
            else if (IsKeyword(word, u"Role"))
                value = &clause.role;
            else if (IsKeyword(word, u"RequiredQualifier"))
                value = &clause.required_qualifier;
            else if (associators && IsKeyword(word, u"AssocClass"))
                value = &clause.assoc_class;
            else if (associators && IsKeyword(word, u"ResultRole"))
                value = &clause.result_role;
            else if (associators && IsKeyword(word, u"RequiredAssocQualifier"))
                value = &clause.required_assoc_qualifier;
            if (!value)
                throw Failure{word.offset, "not a keyword of this query"};
            if (!value->empty())
                throw Failure{word.offset, "a keyword stands twice"};
            if (Peek().kind != TokenKind::Operator || Peek().text != u"=")
                Fail("expected =");
            Advance();
            if ((Peek().kind != TokenKind::Identifier && Peek().kind != TokenKind::String) ||
                Peek().text.empty())
                Fail("expected a name");
            *value = Advance().text;
        }
        if (clause.class_defs_only && (!clause.result_class.empty() || clause.keys_only))
            Fail("ClassDefsOnly cannot stand with ResultClass or KeysOnly");
    }

    void ParseQuery(Query& query) {
        Expect(u"SELECT");
        if (Peek().kind == TokenKind::Star) {
            Advance();
            query.select_all = true;
        } else {
            do {
                query.select.push_back(
                    PropertyRef{PropertyName("a property name or *"), -1, CIM_EMPTY});
            } while (Accept(TokenKind::Comma));
        }
        Expect(u"FROM");
        query.class_name = PropertyName("a class name");
        if (IsKeyword(Peek(), u"WHERE")) {
            Advance();
            query.where = ParseOr();
        }
        if (Peek().kind != TokenKind::End)
            Fail("unexpected text after the query");
    }

  private:
    const Token& Peek(size_t ahead = 0) const {
        size_t index = pos_ + ahead;
        return tokens_[index < tokens_.size() ? index : tokens_.size() - 1];
    }
    const Token& Advance() {
        const Token& token = Peek();
        if (pos_ + 1 < tokens_.size())
            ++pos_;
        return token;
    }
    bool Accept(TokenKind kind) {
        if (Peek().kind != kind)
            return false;
        Advance();
        return true;
    }
    [[noreturn]] void Fail(const std::string& message) const {
        throw Failure{Peek().offset, message};
    }
    void Expect(std::u16string_view keyword) {
        if (!IsKeyword(Peek(), keyword))
            Fail("expected " + kvwin::ToUtf8(keyword));
        Advance();
    }
    std::u16string PropertyName(const char* what) {
        if (Peek().kind != TokenKind::Identifier || IsReserved(Peek()))
            Fail(std::string("expected ") + what);
        return Advance().text;
    }

    ConditionPtr ParseOr() { return ParseJunction(false); }
    ConditionPtr ParseAnd() { return ParseJunction(true); }
    ConditionPtr ParseJunction(bool is_and) {
        auto operand = [&] { return is_and ? ParseUnary() : ParseAnd(); };
        ConditionPtr first = operand();
        if (!IsKeyword(Peek(), is_and ? u"AND" : u"OR"))
            return first;
        auto joined = std::make_unique<Condition>();
        Junction& junction = joined->node.emplace<Junction>();
        junction.is_and = is_and;
        junction.operands.push_back(std::move(first));
        while (IsKeyword(Peek(), is_and ? u"AND" : u"OR")) {
            Advance();
            junction.operands.push_back(operand());
        }
        return joined;
    }
    ConditionPtr ParseUnary() {
        if (IsKeyword(Peek(), u"NOT")) {
            Nest();
            Advance();
            ConditionPtr operand = ParseUnary();
            --depth_;
            return Negate(std::move(operand));
        }
        if (Peek().kind == TokenKind::OpenParen) {
            Nest();
            Advance();
            ConditionPtr inner = ParseOr();
            if (!Accept(TokenKind::CloseParen))
                Fail("expected )");
            --depth_;
            return inner;
        }
        return ParsePredicate();
    }
    void Nest() {
        if (++depth_ > kMaxNesting)
            Fail("parentheses and NOTs nested too deep");
    }
    static ConditionPtr Negate(ConditionPtr operand) {
        auto negation = std::make_unique<Condition>();
        negation->node = Negation{std::move(operand)};
        return negation;
    }

    bool AtLiteral() const {
        const Token& token = Peek();
        return token.kind == TokenKind::String || token.kind == TokenKind::Number ||
               IsKeyword(token, u"TRUE") || IsKeyword(token, u"FALSE") || IsKeyword(token, u"NULL");
    }
    Literal ParseLiteral() {
        if (!AtLiteral())
            Fail("expected a string, a number, TRUE, FALSE or NULL");
        const Token& token = Advance();
        Literal literal;
        if (token.kind == TokenKind::String) {
            literal.kind = Literal::Kind::String;
            literal.text = token.text;
        } else if (token.kind == TokenKind::Number) {
            literal = NumberLiteral(token.text);
        } else if (IsKeyword(token, u"NULL")) {
            literal.kind = Literal::Kind::Null;
        } else {
            literal.kind = Literal::Kind::Boolean;
            literal.boolean = IsKeyword(token, u"TRUE");
            literal.real = literal.boolean ? 1 : 0;
        }
        return literal;
    }
    CompareOp ParseOperator() {
        const Token& token = Peek();
        if (token.kind != TokenKind::Operator)
            Fail("expected a comparison operator");
        Advance();
        const std::u16string& op = token.text;
        if (op == u"=")
            return CompareOp::Equal;
        if (op == u"<>" || op == u"!=")
            return CompareOp::NotEqual;
        if (op == u"<")
            return CompareOp::Less;
        if (op == u">")
            return CompareOp::Greater;
        if (op == u"<=")
            return CompareOp::LessOrEqual;
        return CompareOp::GreaterOrEqual;
    }

    ConditionPtr ParsePredicate() {
        auto condition = std::make_unique<Condition>();
        if (AtLiteral()) {
            Literal value = ParseLiteral();
            CompareOp op = ParseOperator();
            PropertyRef property{PropertyName("a property name"), -1, CIM_EMPTY};
            condition->node = Comparison{std::move(property), Mirror(op), std::move(value)};
            return condition;
        }
        PropertyRef property{PropertyName("a property name"), -1, CIM_EMPTY};
        if (IsKeyword(Peek(), u"IS")) {
            Advance();
            bool is_null = true;
            if (IsKeyword(Peek(), u"NOT")) {
                Advance();
                is_null = false;
            }
            Expect(u"NULL");
            condition->node = NullTest{std::move(property), is_null};
            return condition;
        }
        bool negated_like = false;
        if (IsKeyword(Peek(), u"NOT") && IsKeyword(Peek(1), u"LIKE")) {
            Advance();
            negated_like = true;
        }
        if (IsKeyword(Peek(), u"LIKE")) {
            Advance();
            if (Peek().kind != TokenKind::String)
                Fail("expected a pattern string after LIKE");
            condition->node = LikeTest{std::move(property), Advance().text};
            return negated_like ? Negate(std::move(condition)) : std::move(condition);
        }
        CompareOp op = ParseOperator();
        if (!AtLiteral())
            Fail("a property can only be compared with a literal");
        condition->node = Comparison{std::move(property), op, ParseLiteral()};
        return condition;
    }

    std::vector<Token> tokens_;
    size_t pos_ = 0;
    int depth_ = 0;  // parentheses and NOTs open around the current token
};

}  // namespace

bool Parse(std::u16string_view text, Query& query, ParseError& error) {
    query = Query{};
    try {
        const size_t tail = AssociationHead(text, query);
        const size_t start = tail == std::u16string_view::npos ? 0 : tail;
        std::vector<Token> tokens;
        size_t offset = 0;
        if (!Tokenize(text.substr(start), tokens, offset)) {
            error = ParseError{start + offset, "unterminated string or unexpected character"};
            query = Query{};
            return false;
        }
        for (Token& token : tokens)
            token.offset += start;
        Parser parser(std::move(tokens));
        if (tail == std::u16string_view::npos)
            parser.ParseQuery(query);
        else
            parser.ParseAssociationTail(query);
        return true;
    } catch (const Failure& failure) {
        error = ParseError{failure.offset, failure.message};
        query = Query{};
        return false;
    }
}

}  // namespace kvwmi::wql
