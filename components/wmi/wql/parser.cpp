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

class Parser {
  public:
    explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

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
    std::vector<Token> tokens;
    size_t offset = 0;
    if (!Tokenize(text, tokens, offset)) {
        error = ParseError{offset, "unterminated string or unexpected character"};
        return false;
    }
    try {
        Parser(std::move(tokens)).ParseQuery(query);
        return true;
    } catch (const Failure& failure) {
        error = ParseError{failure.offset, failure.message};
        query = Query{};
        return false;
    }
}

}  // namespace kvwmi::wql
