// Recursive descent over the token list.
#include "parser.h"

#include "errors.h"
#include "lexer.h"
#include "operators.h"

namespace kvvbs {
namespace {

constexpr int kMaxNesting = 200;
constexpr int kMaxChain = 5000;

// Words that cannot name a variable.
bool IsReserved(const std::u16string& w) {
    static const char16_t* const kWords[] = {
        u"and",     u"byref",  u"byval", u"call",     u"case",  u"class",    u"const",   u"dim",
        u"do",      u"each",   u"else",  u"elseif",   u"empty", u"end",      u"eqv",     u"erase",
        u"exit",    u"false",  u"for",   u"function", u"get",   u"if",       u"imp",     u"in",
        u"is",      u"let",    u"loop",  u"me",       u"mod",   u"new",      u"next",    u"not",
        u"nothing", u"null",   u"on",    u"option",   u"or",    u"preserve", u"private", u"public",
        u"redim",   u"select", u"set",   u"sub",      u"then",  u"to",       u"true",    u"until",
        u"wend",    u"while",  u"with",  u"xor"};
    for (const char16_t* k : kWords) {
        if (w == k)
            return true;
    }
    return false;
}

class Parser {
  public:
    explicit Parser(std::vector<Token> tokens) : t_(std::move(tokens)) {}

    NodePtr Program() {
        auto block = Make(NodeKind::Block);
        SkipNewlines();
        while (!At(Tok::End)) {
            block->kids.push_back(TopStatement());
            SkipNewlines();
        }
        return block;
    }

  private:
    // ---- tokens --------------------------------------------------------------------------
    const Token& Peek(size_t ahead = 0) const {
        size_t i = pos_ + ahead;
        return t_[i < t_.size() ? i : t_.size() - 1];
    }
    bool At(Tok type) const { return Peek().type == type; }
    bool AtWord(std::u16string_view w) const { return Peek().IsWord(w); }
    bool AtOp(std::u16string_view op) const { return Peek().Is(op); }
    const Token& Next() {
        const Token& t = Peek();
        if (pos_ < t_.size() - 1)
            ++pos_;
        return t;
    }
    bool AcceptWord(std::u16string_view w) {
        if (!AtWord(w))
            return false;
        Next();
        return true;
    }
    bool AcceptOp(std::u16string_view op) {
        if (!AtOp(op))
            return false;
        Next();
        return true;
    }
    [[noreturn]] void Fail(int number) const {
        ScriptError e;
        e.number = number;
        e.compile = true;
        e.line = Peek().line;
        e.column = Peek().column;
        throw e;
    }
    void ExpectWord(std::u16string_view w, int number) {
        if (!AcceptWord(w))
            Fail(number);
    }
    void ExpectOp(std::u16string_view op, int number) {
        if (!AcceptOp(op))
            Fail(number);
    }
    std::u16string Identifier(std::u16string* display = nullptr) {
        if (!At(Tok::Ident) || IsReserved(Peek().lower))
            Fail(1010);
        if (display)
            *display = Peek().text;
        return Next().lower;
    }
    void SkipNewlines() {
        while (At(Tok::Newline))
            Next();
    }
    bool AtStatementEnd() const { return At(Tok::Newline) || At(Tok::End) || AtWord(u"else"); }
    void EndStatement() {
        if (At(Tok::End))
            return;
        if (!At(Tok::Newline))
            Fail(kErrExpectedEnd);
        Next();
    }
    NodePtr Make(NodeKind k) const { return std::make_unique<Node>(k, Peek().line, Peek().column); }

    struct Depth {
        explicit Depth(Parser& p) : p_(p) {
            if (++p_.depth_ > kMaxNesting)
                p_.Fail(kErrOutOfStack);
        }
        ~Depth() { --p_.depth_; }
        Parser& p_;
    };

    // ---- statements ----------------------------------------------------------------------
    NodePtr TopStatement() {
        if (AtWord(u"class"))
            return ClassDecl();
        bool is_private = false, is_public = false;
        if (AtWord(u"public") || AtWord(u"private")) {
            is_private = AtWord(u"private");
            is_public = !is_private;
            const Token& after = Peek(1);
            if (after.IsWord(u"sub") || after.IsWord(u"function") || after.IsWord(u"default")) {
                Next();
                return Procedure(is_private, false);
            }
            if (after.IsWord(u"const")) {
                Next();
                return Statement();
            }
            Next();
            auto dim = DimList(NodeKind::Dim);
            dim->is_private = is_private;
            EndStatement();
            return dim;
        }
        (void)is_public;
        if (AtWord(u"sub") || AtWord(u"function"))
            return Procedure(false, false);
        return Statement();
    }

    NodePtr Statement() {
        Depth depth(*this);
        auto s = SimpleOrBlockStatement();
        if (s->kind != NodeKind::If || !s->flag)
            EndStatement();
        return s;
    }

    // Statements until one of the closing words (not consumed).
    NodePtr Block(std::initializer_list<std::u16string_view> closers) {
        Depth depth(*this);
        auto block = Make(NodeKind::Block);
        SkipNewlines();
        for (;;) {
            if (At(Tok::End))
                return block;
            for (auto w : closers) {
                if (AtWord(w)) {
                    if (w == u"end" && Peek(1).type == Tok::Newline)
                        Fail(1024);
                    return block;
                }
            }
            block->kids.push_back(Statement());
            SkipNewlines();
        }
    }

    NodePtr SimpleOrBlockStatement() {
        const Token& t = Peek();
        if (t.type != Tok::Ident && !t.Is(u"."))
            Fail(kErrExpectedStatement);
        const std::u16string& w = t.lower;
        if (t.type == Tok::Ident) {
            if (w == u"dim") {
                Next();
                return DimList(NodeKind::Dim);
            }
            if (w == u"redim")
                return ReDim();
            if (w == u"erase") {
                auto n = Make(NodeKind::Erase);
                Next();
                do
                    n->kids.push_back(Postfix(Primary()));
                while (AcceptOp(u","));
                return n;
            }
            if (w == u"const")
                return ConstDecl();
            if (w == u"option") {
                auto n = Make(NodeKind::Option);
                Next();
                ExpectWord(u"explicit", 1002);
                return n;
            }
            if (w == u"if")
                return IfStatement();
            if (w == u"select")
                return SelectStatement();
            if (w == u"for")
                return ForStatement();
            if (w == u"do")
                return DoStatement();
            if (w == u"while") {
                auto n = Make(NodeKind::Do);
                Next();
                n->op = uint8_t(DoForm::PreWhile);
                n->kids.push_back(Expression());
                EndStatement();
                n->kids.push_back(Block({u"wend"}));
                ExpectWord(u"wend", 1018);
                return n;
            }
            if (w == u"exit")
                return ExitStatement();
            if (w == u"with") {
                auto n = Make(NodeKind::With);
                Next();
                n->kids.push_back(Expression());
                EndStatement();
                n->kids.push_back(Block({u"end"}));
                ExpectWord(u"end", 1014);
                ExpectWord(u"with", 1002);
                return n;
            }
            if (w == u"on") {
                auto n = Make(NodeKind::OnError);
                Next();
                ExpectWord(u"error", 1002);
                if (AcceptWord(u"resume")) {
                    ExpectWord(u"next", 1002);
                    n->flag = true;
                } else {
                    ExpectWord(u"goto", 1002);
                    if (!(At(Tok::Number) && Peek().number.AsInt() == 0))
                        Fail(1002);
                    Next();
                }
                return n;
            }
            if (w == u"set") {
                auto n = Make(NodeKind::Set);
                Next();
                n->kids.push_back(Postfix(Primary()));
                ExpectOp(u"=", 1011);
                n->kids.push_back(Expression());
                return n;
            }
            if (w == u"call") {
                auto n = Make(NodeKind::CallStmt);
                Next();
                n->kids.push_back(Postfix(Primary()));
                n->flag = true;
                return n;
            }
            if (w == u"sub" || w == u"function" || w == u"class" || w == u"property")
                Fail(1024);  // procedures only at the top level or in classes
            if (w == u"stop" && Peek(1).type == Tok::Newline) {
                Next();
                return Make(NodeKind::Block);
            }
            if (w == u"let") {
                Next();
                return Statement2();
            }
            if (IsReserved(w) && w != u"me")
                Fail(kErrExpectedStatement);
        }
        return Statement2();
    }

    // An assignment or a call statement.
    NodePtr Statement2() {
        auto start = Make(NodeKind::CallStmt);
        size_t first = pos_;
        NodePtr target = Postfix(Primary(), true);
        if (AcceptOp(u"=")) {
            auto n = std::make_unique<Node>(NodeKind::Assign, start->line, start->column);
            n->kids.push_back(std::move(target));
            n->kids.push_back(Expression());
            if (!AtOp(u",") || n->kids[0]->kind != NodeKind::Call)
                return n;
            // `f (a) = b, c`: a call whose first argument is a comparison.
        }
        if (AtStatementEnd()) {
            start->kids.push_back(std::move(target));
            return start;
        }
        // `f a, b` / `f (a), b` / `obj.m (a) + 1`: re-read with the arguments outside.
        pos_ = first;
        NodePtr callee = Postfix(Primary(), true, true);
        auto call = std::make_unique<Node>(NodeKind::Call, start->line, start->column);
        call->flag = true;  // arguments written without parentheses
        call->kids.push_back(std::move(callee));
        ArgumentsInto(*call, false);
        start->kids.push_back(std::move(call));
        return start;
    }

    // Declared names separated by commas, each a Decl among n's kids; `rest(decl)` reads
    // what follows its name.
    template <class F>
    void DeclsInto(Node& n, F&& rest) {
        do {
            auto d = Make(NodeKind::Decl);
            d->name = Identifier(&d->display);
            rest(*d);
            n.kids.push_back(std::move(d));
        } while (AcceptOp(u","));
    }
    // Expressions separated by commas, among n's kids.
    void ExpressionsInto(Node& n) {
        do
            n.kids.push_back(Expression());
        while (AcceptOp(u","));
    }

    NodePtr DimList(NodeKind kind) {
        auto n = Make(kind);
        DeclsInto(*n, [this](Node& d) {
            if (AcceptOp(u"(")) {
                d.flag = true;
                if (!AtOp(u")"))
                    ExpressionsInto(d);
                ExpectOp(u")", 1006);
            }
        });
        return n;
    }

    NodePtr ReDim() {
        auto n = Make(NodeKind::ReDim);
        Next();
        n->flag = AcceptWord(u"preserve");
        DeclsInto(*n, [this](Node& d) {
            ExpectOp(u"(", 1005);
            ExpressionsInto(d);
            ExpectOp(u")", 1006);
        });
        return n;
    }

    NodePtr ConstDecl() {
        auto n = Make(NodeKind::Const);
        Next();
        DeclsInto(*n, [this](Node& d) {
            ExpectOp(u"=", 1011);
            d.kids.push_back(Expression());
        });
        return n;
    }

    NodePtr IfStatement() {
        auto n = Make(NodeKind::If);
        Next();
        n->kids.push_back(Expression());
        ExpectWord(u"then", 1017);
        if (!At(Tok::Newline) && !At(Tok::End)) {
            // Single-line form: statements separated by ':' up to the line's end.
            n->flag = true;
            n->kids.push_back(LineStatements(true));
            if (AcceptWord(u"else")) {
                n->kids.push_back(LineStatements(false));
            }
            AcceptWord(u"end") && AcceptWord(u"if");
            EndLine();
            return n;
        }
        n->kids.push_back(Block({u"elseif", u"else", u"end"}));
        for (;;) {
            if (AcceptWord(u"elseif")) {
                n->kids.push_back(Expression());
                ExpectWord(u"then", 1017);
                n->kids.push_back(Block({u"elseif", u"else", u"end"}));
                continue;
            }
            if (AcceptWord(u"else")) {
                if (AtWord(u"if"))
                    Fail(1002);
                n->kids.push_back(Block({u"end"}));
            }
            break;
        }
        ExpectWord(u"end", 1014);
        ExpectWord(u"if", 1012);
        return n;
    }

    // The statements of a single-line If branch.
    NodePtr LineStatements(bool then_part) {
        auto block = Make(NodeKind::Block);
        for (;;) {
            if (At(Tok::End) || (At(Tok::Newline) && Peek().text != u":"))
                break;
            if (At(Tok::Newline)) {
                Next();
                continue;
            }
            if (then_part && AtWord(u"else"))
                break;
            if (AtWord(u"end") && Peek(1).IsWord(u"if"))
                break;
            Depth depth(*this);
            block->kids.push_back(SimpleOrBlockStatement());
        }
        return block;
    }
    void EndLine() {
        if (At(Tok::Newline) || At(Tok::End))
            return;
        Fail(kErrExpectedEnd);
    }

    NodePtr SelectStatement() {
        auto n = Make(NodeKind::Select);
        Next();
        ExpectWord(u"case", 1021);
        n->kids.push_back(Expression());
        EndStatement();
        SkipNewlines();
        while (AtWord(u"case")) {
            auto c = Make(NodeKind::Case);
            Next();
            std::vector<NodePtr> tests;
            if (AcceptWord(u"else")) {
                c->flag = true;
            } else {
                do {
                    if (AcceptWord(u"is")) {
                        auto t = Make(NodeKind::CaseIs);
                        t->op = ComparisonOp();
                        t->kids.push_back(Concatenation());
                        tests.push_back(std::move(t));
                        continue;
                    }
                    NodePtr e = Expression();
                    if (AcceptWord(u"to")) {
                        auto t = Make(NodeKind::CaseTo);
                        t->kids.push_back(std::move(e));
                        t->kids.push_back(Expression());
                        tests.push_back(std::move(t));
                    } else {
                        tests.push_back(std::move(e));
                    }
                } while (AcceptOp(u","));
            }
            if (At(Tok::Newline))
                Next();
            c->kids.push_back(Block({u"case", u"end"}));
            for (auto& t : tests)
                c->kids.push_back(std::move(t));
            n->kids.push_back(std::move(c));
        }
        ExpectWord(u"end", 1014);
        ExpectWord(u"select", 1022);
        return n;
    }

    uint8_t ComparisonOp() {
        static const std::pair<const char16_t*, BinOp> kOps[] = {
            {u"=", BinOp::Eq},  {u"<>", BinOp::Ne}, {u"<", BinOp::Lt},
            {u"<=", BinOp::Le}, {u">", BinOp::Gt},  {u">=", BinOp::Ge}};
        for (auto& [text, op] : kOps) {
            if (AcceptOp(text))
                return uint8_t(op);
        }
        Fail(1002);
    }

    NodePtr ForStatement() {
        auto start = Make(NodeKind::For);
        Next();
        if (AcceptWord(u"each")) {
            auto n = std::make_unique<Node>(NodeKind::ForEach, start->line, start->column);
            n->kids.push_back(Postfix(Primary()));
            ExpectWord(u"in", 1002);
            n->kids.push_back(Expression());
            EndStatement();
            n->kids.push_back(Block({u"next"}));
            ExpectWord(u"next", 1020);
            return n;
        }
        auto& n = start;
        auto var = Make(NodeKind::Name);
        var->name = Identifier(&var->display);
        n->kids.push_back(std::move(var));
        ExpectOp(u"=", 1011);
        n->kids.push_back(Expression());
        ExpectWord(u"to", 1013);
        n->kids.push_back(Expression());
        n->kids.push_back(AcceptWord(u"step") ? Expression() : nullptr);
        EndStatement();
        n->kids.push_back(Block({u"next"}));
        ExpectWord(u"next", 1020);
        if (At(Tok::Ident) && !IsReserved(Peek().lower))
            Next();  // `Next i`
        return std::move(n);
    }

    NodePtr DoStatement() {
        auto n = Make(NodeKind::Do);
        Next();
        n->op = uint8_t(DoForm::Forever);
        NodePtr cond;
        if (AtWord(u"while") || AtWord(u"until")) {
            n->op = uint8_t(AtWord(u"while") ? DoForm::PreWhile : DoForm::PreUntil);
            Next();
            cond = Expression();
        }
        EndStatement();
        NodePtr body = Block({u"loop"});
        ExpectWord(u"loop", 1019);
        if (AtWord(u"while") || AtWord(u"until")) {
            if (cond)
                Fail(kErrExpectedEnd);
            n->op = uint8_t(AtWord(u"while") ? DoForm::PostWhile : DoForm::PostUntil);
            Next();
            cond = Expression();
        }
        n->kids.push_back(std::move(cond));
        n->kids.push_back(std::move(body));
        return n;
    }

    NodePtr ExitStatement() {
        auto n = Make(NodeKind::Exit);
        Next();
        if (AcceptWord(u"do"))
            n->op = uint8_t(ExitKind::Do);
        else if (AcceptWord(u"for"))
            n->op = uint8_t(ExitKind::For);
        else if (AcceptWord(u"function"))
            n->op = uint8_t(ExitKind::Function);
        else if (AcceptWord(u"sub"))
            n->op = uint8_t(ExitKind::Sub);
        else if (AcceptWord(u"property"))
            n->op = uint8_t(ExitKind::Property);
        else
            Fail(1002);
        return n;
    }

    NodePtr Procedure(bool is_private, bool in_class) {
        auto n = Make(NodeKind::Proc);
        n->is_private = is_private;
        if (AcceptWord(u"default")) {
            if (!in_class)
                Fail(1002);
            n->is_default = true;
        }
        std::u16string_view end_word;
        if (AcceptWord(u"sub")) {
            n->op = uint8_t(ProcKind::Sub);
            end_word = u"sub";
        } else if (AcceptWord(u"function")) {
            n->op = uint8_t(ProcKind::Function);
            end_word = u"function";
        } else if (in_class && AcceptWord(u"property")) {
            end_word = u"property";
            if (AcceptWord(u"get"))
                n->op = uint8_t(ProcKind::PropertyGet);
            else if (AcceptWord(u"let"))
                n->op = uint8_t(ProcKind::PropertyLet);
            else if (AcceptWord(u"set"))
                n->op = uint8_t(ProcKind::PropertySet);
            else
                Fail(1002);
        } else {
            Fail(1002);
        }
        n->name = Identifier(&n->display);
        if (AcceptOp(u"(")) {
            if (!AtOp(u")")) {
                do {
                    Param p;
                    if (AcceptWord(u"byval"))
                        p.by_val = true;
                    else
                        AcceptWord(u"byref");
                    p.name = Identifier();
                    if (AcceptOp(u"(")) {
                        ExpectOp(u")", 1006);
                        p.array = true;
                    }
                    for (const auto& other : n->params) {
                        if (other.name == p.name)
                            Fail(kErrNameRedefined);
                    }
                    n->params.push_back(p);
                } while (AcceptOp(u","));
            }
            ExpectOp(u")", 1006);
        }
        EndStatement();
        n->kids.push_back(Block({u"end"}));
        ExpectWord(u"end", 1014);
        if (!AcceptWord(end_word))
            Fail(end_word == u"sub" ? 1016 : end_word == u"function" ? 1015 : 1002);
        EndStatement();
        return n;
    }

    NodePtr ClassDecl() {
        auto n = Make(NodeKind::Class);
        Next();
        n->name = Identifier(&n->display);
        EndStatement();
        SkipNewlines();
        while (!AtWord(u"end")) {
            if (At(Tok::End))
                Fail(1014);
            bool is_private = false;
            bool modifier = false;
            if (AtWord(u"public") || AtWord(u"private")) {
                is_private = AtWord(u"private");
                modifier = true;
                Next();
            }
            if (AtWord(u"sub") || AtWord(u"function") || AtWord(u"property") ||
                AtWord(u"default")) {
                n->kids.push_back(Procedure(is_private, true));
            } else if (modifier || AtWord(u"dim")) {
                if (!modifier)
                    Next();
                auto dim = DimList(NodeKind::Dim);
                dim->is_private = is_private;
                n->kids.push_back(std::move(dim));
                EndStatement();
            } else {
                Fail(1024);
            }
            SkipNewlines();
        }
        Next();
        ExpectWord(u"class", 1002);
        EndStatement();
        return n;
    }

    // ---- expressions ---------------------------------------------------------------------
    NodePtr Expression() {
        Depth depth(*this);
        return ImpExpr();
    }

    NodePtr BinaryNode(BinOp op, NodePtr l, NodePtr r, const Node& at) {
        auto n = std::make_unique<Node>(NodeKind::Binary, at.line, at.column);
        n->op = uint8_t(op);
        n->kids.push_back(std::move(l));
        n->kids.push_back(std::move(r));
        return n;
    }

    template <class Operand>
    NodePtr LeftAssoc(Operand next,
                      std::initializer_list<std::pair<std::u16string_view, BinOp>> ops,
                      bool words) {
        NodePtr l = (this->*next)();
        for (int chain = 0;; ++chain) {
            // A chain of operators makes a tree as deep as it is long; the compiler walks it
            // recursively, so it is bounded like nesting.
            if (chain > kMaxChain)
                Fail(kErrOutOfStack);
            bool matched = false;
            for (auto& [text, op] : ops) {
                if (words ? AtWord(text) : AtOp(text)) {
                    auto at = Make(NodeKind::Binary);
                    Next();
                    l = BinaryNode(op, std::move(l), (this->*next)(), *at);
                    matched = true;
                    break;
                }
            }
            if (!matched)
                return l;
        }
    }

    NodePtr ImpExpr() { return LeftAssoc(&Parser::EqvExpr, {{u"imp", BinOp::Imp}}, true); }
    NodePtr EqvExpr() { return LeftAssoc(&Parser::XorExpr, {{u"eqv", BinOp::Eqv}}, true); }
    NodePtr XorExpr() { return LeftAssoc(&Parser::OrExpr, {{u"xor", BinOp::Xor}}, true); }
    NodePtr OrExpr() { return LeftAssoc(&Parser::AndExpr, {{u"or", BinOp::Or}}, true); }
    NodePtr AndExpr() { return LeftAssoc(&Parser::NotExpr, {{u"and", BinOp::And}}, true); }
    NodePtr NotExpr() {
        if (AtWord(u"not")) {
            Depth depth(*this);
            auto n = Make(NodeKind::Unary);
            Next();
            n->op = 1;
            n->kids.push_back(NotExpr());
            return n;
        }
        return Comparison();
    }
    NodePtr Comparison() {
        NodePtr l = Concatenation();
        for (int chain = 0;; ++chain) {
            if (chain > kMaxChain)
                Fail(kErrOutOfStack);
            if (AtWord(u"is")) {
                auto n = Make(NodeKind::Is);
                Next();
                n->kids.push_back(std::move(l));
                n->kids.push_back(Concatenation());
                l = std::move(n);
                continue;
            }
            static const std::pair<const char16_t*, BinOp> kOps[] = {
                {u"=", BinOp::Eq},  {u"<>", BinOp::Ne}, {u"<", BinOp::Lt},
                {u"<=", BinOp::Le}, {u">", BinOp::Gt},  {u">=", BinOp::Ge}};
            bool matched = false;
            for (auto& [text, op] : kOps) {
                if (AtOp(text)) {
                    auto at = Make(NodeKind::Binary);
                    Next();
                    l = BinaryNode(op, std::move(l), Concatenation(), *at);
                    matched = true;
                    break;
                }
            }
            if (!matched)
                return l;
        }
    }
    NodePtr Concatenation() { return LeftAssoc(&Parser::Additive, {{u"&", BinOp::Concat}}, false); }
    NodePtr Additive() {
        return LeftAssoc(&Parser::Modulo, {{u"+", BinOp::Add}, {u"-", BinOp::Sub}}, false);
    }
    NodePtr Modulo() { return LeftAssoc(&Parser::IntDivision, {{u"mod", BinOp::Mod}}, true); }
    NodePtr IntDivision() {
        return LeftAssoc(&Parser::Multiplicative, {{u"\\", BinOp::IntDiv}}, false);
    }
    NodePtr Multiplicative() {
        return LeftAssoc(&Parser::Unary, {{u"*", BinOp::Mul}, {u"/", BinOp::Div}}, false);
    }
    NodePtr Unary() {
        if (AtOp(u"-") || AtOp(u"+")) {
            Depth depth(*this);
            auto n = Make(NodeKind::Unary);
            bool negate = Next().text == u"-";
            NodePtr operand = Unary();
            if (!negate)
                return operand;
            n->kids.push_back(std::move(operand));
            return n;
        }
        return Power();
    }
    NodePtr Power() {
        NodePtr l = Postfix(Primary());
        for (int chain = 0; AtOp(u"^"); ++chain) {
            if (chain > kMaxChain)
                Fail(kErrOutOfStack);
            auto at = Make(NodeKind::Binary);
            Next();
            NodePtr r;
            if (AtOp(u"-") || AtOp(u"+")) {
                Depth depth(*this);
                auto neg = Make(NodeKind::Unary);
                bool negate = Next().text == u"-";
                r = Postfix(Primary());
                if (negate) {
                    neg->kids.push_back(std::move(r));
                    r = std::move(neg);
                }
            } else {
                r = Postfix(Primary());
            }
            l = BinaryNode(BinOp::Pow, std::move(l), std::move(r), *at);
        }
        return l;
    }

    NodePtr Primary() {
        Depth depth(*this);
        const Token& t = Peek();
        switch (t.type) {
            case Tok::Number:
            case Tok::Date: {
                auto n = Make(NodeKind::Literal);
                n->literal = Next().number;
                return n;
            }
            case Tok::String: {
                auto n = Make(NodeKind::Literal);
                n->literal = Value::String(Next().text);
                return n;
            }
            case Tok::Op:
                if (t.Is(u"(")) {
                    auto n = Make(NodeKind::Paren);
                    Next();
                    n->kids.push_back(Expression());
                    ExpectOp(u")", 1006);
                    return n;
                }
                if (t.Is(u".")) {
                    auto n = Make(NodeKind::Member);
                    Next();
                    n->kids.push_back(nullptr);
                    MemberName(*n);
                    return n;
                }
                Fail(kErrExpectedExpr);
            case Tok::Ident: {
                auto n = Make(NodeKind::Literal);
                const std::u16string& w = t.lower;
                if (w == u"true" || w == u"false") {
                    n->literal = Value::Bool(w == u"true");
                } else if (w == u"empty") {
                    n->literal = Value();
                } else if (w == u"null") {
                    n->literal = Value::Null();
                } else if (w == u"nothing") {
                    n->kind = NodeKind::Nothing;
                } else if (w == u"me") {
                    n->kind = NodeKind::Me;
                } else if (w == u"new") {
                    Next();
                    n->kind = NodeKind::New;
                    n->name = Identifier(&n->display);
                    return n;
                } else {
                    n->kind = NodeKind::Name;
                    n->name = Identifier(&n->display);
                    return n;
                }
                Next();
                return n;
            }
            default:
                Fail(kErrExpectedExpr);
        }
    }

    void MemberName(Node& n) {
        if (!At(Tok::Ident))
            Fail(1010);
        n.display = Peek().text;
        n.name = Next().lower;
    }

    // Member accesses and argument lists after a primary. stop_before_args: leave the last
    // parenthesised list unread when nothing but statement end would follow a call with
    // arguments outside parentheses (the re-read of a call statement).
    NodePtr Postfix(NodePtr n, bool statement = false, bool leave_last_parens = false) {
        int levels = 0;
        for (;;) {
            if (AtOp(u".") && !Peek().space_before && n->kind != NodeKind::Literal) {
                auto m = Make(NodeKind::Member);
                Next();
                MemberName(*m);
                m->kids.push_back(std::move(n));
                n = std::move(m);
            } else if (AtOp(u"(") && n->kind != NodeKind::Literal) {
                if (leave_last_parens && !StartsCall()) {
                    return n;
                }
                auto c = Make(NodeKind::Call);
                Next();
                c->kids.push_back(std::move(n));
                ArgumentsInto(*c, true);
                ExpectOp(u")", 1006);
                n = std::move(c);
            } else {
                return n;
            }
            if (++levels > kMaxNesting)
                Fail(kErrOutOfStack);
            (void)statement;
        }
    }

    // From a "(": whether the parenthesised list is followed by a "." or "(" (so it is part
    // of the callee, `a(1).b 2`), which the re-read must keep.
    bool StartsCall() const {
        int depth = 0;
        for (size_t i = pos_; i < t_.size(); ++i) {
            const Token& t = t_[i];
            if (t.type == Tok::Newline || t.type == Tok::End)
                return false;
            if (t.Is(u"("))
                ++depth;
            else if (t.Is(u")") && --depth == 0) {
                const Token& after = t_[i + 1 < t_.size() ? i + 1 : i];
                return (after.Is(u".") && !after.space_before) || after.Is(u"(");
            }
        }
        return false;
    }

    void ArgumentsInto(Node& call, bool in_parens) {
        if (in_parens && AtOp(u")"))
            return;
        for (;;) {
            if (AtOp(u",") || (in_parens && AtOp(u")")) || (!in_parens && AtStatementEnd()))
                call.kids.push_back(nullptr);
            else
                call.kids.push_back(Expression());
            if (!AcceptOp(u","))
                return;
        }
    }

    std::vector<Token> t_;
    size_t pos_ = 0;
    int depth_ = 0;
};

}  // namespace

NodePtr Parse(std::u16string_view text) {
    Parser parser(Tokenize(text));
    return parser.Program();
}

}  // namespace kvvbs
