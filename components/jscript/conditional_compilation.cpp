// Conditional compilation: the text rewriting described in conditional_compilation.h.
#include "conditional_compilation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <vector>

namespace kvjs {
namespace {

constexpr int kMaxDepth = 64;

struct Value {
    double number = 0;
    bool boolean = false;  // renders as true/false
};

bool IsIdentifierChar(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'_' || c == u'$';
}

class Preprocessor {
  public:
    explicit Preprocessor(std::u16string_view text) : in_(text) {
        Set(u"_jscript", {1, true});
        Set(u"_jscript_version", {5.8, false});
        Set(u"_jscript_build", {0, false});
        Set(u"_win32", {1, true});
        Set(u"_microsoft", {1, true});
    }

    bool Run(std::u16string& out) {
        out.reserve(in_.size());
        while (pos_ < in_.size()) {
            if (!Step(out))
                return false;
        }
        return frames_.empty();
    }
    size_t position() const { return pos_; }

  private:
    struct Frame {
        bool outer_active;
        bool taking;
        bool taken;
    };

    void Set(const std::u16string& name, Value v) { vars_[name] = v; }
    bool Active() const {
        return frames_.empty() || (frames_.back().outer_active && frames_.back().taking);
    }
    bool StartsWith(std::u16string_view s) const { return in_.substr(pos_, s.size()) == s; }

    // Copies (or blanks) n characters.
    void Emit(std::u16string& out, size_t n, bool keep) {
        for (size_t i = 0; i < n && pos_ < in_.size(); ++i, ++pos_) {
            char16_t c = in_[pos_];
            out += keep || c == u'\n' || c == u'\r' ? c : u' ';
        }
    }

    bool Step(std::u16string& out) {
        const char16_t c = in_[pos_];
        const bool active = Active();
        if (c == u'\'' || c == u'"') {
            size_t end = pos_ + 1;
            while (end < in_.size() && in_[end] != c && in_[end] != u'\n')
                end += in_[end] == u'\\' ? 2 : 1;
            Emit(out, std::min(end + 1, in_.size()) - pos_, active);
            last_ = u'a';
            return true;
        }
        if (c == u'/' && StartsWith(u"/*@") && (cc_on_ || StartsWith(u"/*@cc_on"))) {
            Emit(out, 2, false);  // the '@' starts a directive, or stands alone
            ++open_comments_;
            return true;
        }
        if (c == u'@' && open_comments_ > 0 && StartsWith(u"@*/")) {
            Emit(out, 3, false);
            --open_comments_;
            return true;
        }
        if (c == u'/' && StartsWith(u"//@") && (cc_on_ || StartsWith(u"//@cc_on"))) {
            Emit(out, 2, false);
            return true;
        }
        if (c == u'/' && StartsWith(u"/*")) {
            size_t end = in_.find(u"*/", pos_ + 2);
            Emit(out, (end == std::u16string_view::npos ? in_.size() : end + 2) - pos_, active);
            return true;
        }
        if (c == u'/' && StartsWith(u"//")) {
            size_t end = in_.find(u'\n', pos_);
            Emit(out, (end == std::u16string_view::npos ? in_.size() : end) - pos_, active);
            return true;
        }
        if (c == u'/' && RegexMayStart()) {
            size_t end = pos_ + 1;
            bool in_class = false;
            while (end < in_.size() && in_[end] != u'\n' && (in_class || in_[end] != u'/')) {
                if (in_[end] == u'\\')
                    ++end;
                else if (in_[end] == u'[')
                    in_class = true;
                else if (in_[end] == u']')
                    in_class = false;
                ++end;
            }
            Emit(out, std::min(end + 1, in_.size()) - pos_, active);
            last_ = u'a';
            return true;
        }
        if (c == u'@')
            return Directive(out);
        if (c != u' ' && c != u'\t' && c != u'\n' && c != u'\r')
            last_ = c;
        Emit(out, 1, active);
        return true;
    }

    bool RegexMayStart() const {
        return last_ == 0 || std::u16string_view(u"(,=:[!&|?{};+-*%<>~^").find(last_) !=
                                 std::u16string_view::npos;
    }

    std::u16string Name() {
        size_t start = pos_;
        while (pos_ < in_.size() && IsIdentifierChar(in_[pos_]))
            ++pos_;
        return std::u16string(in_.substr(start, pos_ - start));
    }

    void SkipBlanks(std::u16string& out) {
        while (pos_ < in_.size() && (in_[pos_] == u' ' || in_[pos_] == u'\t'))
            Emit(out, 1, false);
    }

    bool Directive(std::u16string& out) {
        const size_t at = pos_;
        ++pos_;
        std::u16string name = Name();
        const size_t length = pos_ - at;
        pos_ = at;
        if (name.empty() && (cc_on_ || open_comments_ > 0)) {  // "/*@ " and "//@ " alone
            Emit(out, 1, false);
            return true;
        }
        if (name == u"cc_on") {
            cc_on_ = true;
            Emit(out, length, false);
            return true;
        }
        if (!cc_on_) {  // not ours: leave it to the compiler
            Emit(out, 1, Active());
            return true;
        }
        Emit(out, length, false);
        if (name == u"if" || name == u"elif") {
            Value v;
            if (!Condition(out, v))
                return false;
            const bool truth = v.number != 0 && !std::isnan(v.number);
            if (name == u"if") {
                if (frames_.size() >= kMaxDepth)
                    return false;
                frames_.push_back({Active(), truth, truth});
            } else {
                if (frames_.empty())
                    return false;
                Frame& f = frames_.back();
                f.taking = !f.taken && truth;
                f.taken = f.taken || truth;
            }
            return true;
        }
        if (name == u"else") {
            if (frames_.empty())
                return false;
            Frame& f = frames_.back();
            f.taking = !f.taken;
            f.taken = true;
            return true;
        }
        if (name == u"end") {
            if (frames_.empty())
                return false;
            frames_.pop_back();
            return true;
        }
        if (name == u"set") {
            SkipBlanks(out);
            if (pos_ >= in_.size() || in_[pos_] != u'@')
                return false;
            Emit(out, 1, false);
            const size_t name_at = pos_;
            std::u16string var = Name();
            pos_ = name_at;
            Emit(out, var.size(), false);
            SkipBlanks(out);
            if (var.empty() || pos_ >= in_.size() || in_[pos_] != u'=')
                return false;
            Emit(out, 1, false);
            size_t end = pos_;
            while (end < in_.size() && in_[end] != u'\n' && in_[end] != u';' &&
                   in_.substr(end, 3) != u"@*/")
                ++end;
            Value v;
            expr_ = in_.substr(pos_, end - pos_);
            expr_pos_ = 0;
            depth_ = 0;
            if (!Expression(v, 0) || !AtExpressionEnd())
                return false;
            Emit(out, end - pos_, false);
            if (Active())
                vars_[var] = v;
            return true;
        }
        // A variable: its value in the code.
        if (Active())
            out += Render(Lookup(name));
        return true;
    }

    bool Condition(std::u16string& out, Value& v) {
        SkipBlanks(out);
        if (pos_ >= in_.size() || in_[pos_] != u'(')
            return false;
        size_t end = pos_;
        int open = 0;
        for (; end < in_.size(); ++end) {
            if (in_[end] == u'(')
                ++open;
            else if (in_[end] == u')' && --open == 0)
                break;
        }
        if (end >= in_.size())
            return false;
        expr_ = in_.substr(pos_, end + 1 - pos_);
        expr_pos_ = 0;
        depth_ = 0;
        bool ok = Expression(v, 0) && AtExpressionEnd();
        Emit(out, end + 1 - pos_, false);
        return ok;
    }

    Value Lookup(const std::u16string& name) const {
        auto it = vars_.find(name);
        return it == vars_.end() ? Value{NAN, false} : it->second;
    }

    static std::u16string Render(const Value& v) {
        if (v.boolean)
            return v.number != 0 ? u"true" : u"false";
        if (std::isnan(v.number))
            return u"NaN";
        char buffer[32];
        snprintf(buffer, sizeof buffer, "%.15g", v.number);
        std::u16string out;
        for (const char* p = buffer; *p; ++p)
            out += char16_t(*p);
        return u"(" + out + u")";
    }

    // ---- expressions --------------------------------------------------------------------
    void Blanks() {
        while (expr_pos_ < expr_.size() &&
               (expr_[expr_pos_] == u' ' || expr_[expr_pos_] == u'\t' || expr_[expr_pos_] == u'\r'))
            ++expr_pos_;
    }
    bool AtExpressionEnd() {
        Blanks();
        return expr_pos_ == expr_.size();
    }
    bool Take(std::u16string_view op) {
        Blanks();
        if (expr_.substr(expr_pos_, op.size()) != op)
            return false;
        expr_pos_ += op.size();
        return true;
    }

    // Binary operators by precedence level, lowest first.
    static constexpr int kLevels = 8;
    // Nesting is bounded: each level of parentheses or unary operators costs one step.
    struct DepthGuard {
        int& depth;
        explicit DepthGuard(int& d) : depth(++d) {}
        ~DepthGuard() { --depth; }
    };
    bool Expression(Value& v, int level) {
        DepthGuard guard(depth_);
        if (depth_ > kMaxDepth * (kLevels + 1))
            return false;
        if (level == kLevels)
            return Unary(v);
        if (!Expression(v, level + 1))
            return false;
        for (;;) {
            std::u16string_view op = MatchOperator(level);
            if (op.empty())
                return true;
            Value r;
            if (!Expression(r, level + 1))
                return false;
            v = Apply(op, v, r);
        }
    }
    std::u16string_view MatchOperator(int level) {
        static const std::vector<std::u16string_view> ops[kLevels] = {
            {u"||"},
            {u"&&"},
            {u"|"},
            {u"^"},
            {u"&"},
            {u"===", u"!==", u"==", u"!="},
            {u"<=", u">=", u"<", u">"},
            {u"+", u"-", u"*", u"/", u"%"}};
        Blanks();
        for (auto op : ops[level]) {
            if (expr_.substr(expr_pos_, op.size()) != op)
                continue;
            // "|" must not be the start of "||", "&" of "&&".
            if ((op == u"|" || op == u"&") && expr_.substr(expr_pos_ + 1, 1) == op)
                continue;
            expr_pos_ += op.size();
            return op;
        }
        return {};
    }
    static Value Apply(std::u16string_view op, Value a, Value b) {
        const double x = a.number, y = b.number;
        auto truth = [](double d) { return d != 0 && !std::isnan(d); };
        auto i32 = [](double d) { return std::isfinite(d) ? int32_t(int64_t(d)) : 0; };
        if (op == u"||")
            return truth(x) ? a : b;
        if (op == u"&&")
            return truth(x) ? b : a;
        if (op == u"|")
            return {double(i32(x) | i32(y)), false};
        if (op == u"^")
            return {double(i32(x) ^ i32(y)), false};
        if (op == u"&")
            return {double(i32(x) & i32(y)), false};
        if (op == u"==" || op == u"===")
            return {double(x == y), true};
        if (op == u"!=" || op == u"!==")
            return {double(x != y), true};
        if (op == u"<")
            return {double(x < y), true};
        if (op == u"<=")
            return {double(x <= y), true};
        if (op == u">")
            return {double(x > y), true};
        if (op == u">=")
            return {double(x >= y), true};
        if (op == u"+")
            return {x + y, false};
        if (op == u"-")
            return {x - y, false};
        if (op == u"*")
            return {x * y, false};
        if (op == u"/")
            return {x / y, false};
        return {std::fmod(x, y), false};
    }
    bool Unary(Value& v) {
        DepthGuard guard(depth_);
        if (depth_ > kMaxDepth * (kLevels + 1))
            return false;
        if (Take(u"!")) {
            if (!Unary(v))
                return false;
            v = {double(!(v.number != 0 && !std::isnan(v.number))), true};
            return true;
        }
        if (Take(u"-") || Take(u"~")) {
            const char16_t op = expr_[expr_pos_ - 1];
            if (!Unary(v))
                return false;
            v = {op == u'-' ? -v.number
                            : double(~int32_t(int64_t(std::isfinite(v.number) ? v.number : 0))),
                 false};
            return true;
        }
        if (Take(u"+"))
            return Unary(v);
        if (Take(u"(")) {
            if (!Expression(v, 0) || !Take(u")"))
                return false;
            return true;
        }
        Blanks();
        if (Take(u"@")) {
            size_t start = expr_pos_;
            while (expr_pos_ < expr_.size() && IsIdentifierChar(expr_[expr_pos_]))
                ++expr_pos_;
            v = Lookup(std::u16string(expr_.substr(start, expr_pos_ - start)));
            return expr_pos_ > start;
        }
        if (Take(u"true")) {
            v = {1, true};
            return true;
        }
        if (Take(u"false")) {
            v = {0, true};
            return true;
        }
        size_t start = expr_pos_;
        while (expr_pos_ < expr_.size() &&
               ((expr_[expr_pos_] >= u'0' && expr_[expr_pos_] <= u'9') || expr_[expr_pos_] == u'.'))
            ++expr_pos_;
        if (expr_pos_ == start)
            return false;
        std::string digits;
        for (size_t i = start; i < expr_pos_; ++i)
            digits += char(expr_[i]);
        v = {std::strtod(digits.c_str(), nullptr), false};
        return true;
    }

    std::u16string_view in_;
    size_t pos_ = 0;
    bool cc_on_ = false;
    int open_comments_ = 0;
    char16_t last_ = 0;  // the last significant code character, for telling a regex from a division
    std::vector<Frame> frames_;
    std::map<std::u16string, Value> vars_;
    std::u16string_view expr_;
    size_t expr_pos_ = 0;
    int depth_ = 0;
};

}  // namespace

std::u16string PreprocessConditional(std::u16string_view text, bool& error) {
    error = false;
    if (text.find(u"@cc_on") == std::u16string_view::npos)
        return std::u16string(text);
    std::u16string out;
    Preprocessor p(text);
    if (!p.Run(out)) {
        // What was rewritten, then a stray '@' where the fault is and the rest as written:
        // the compiler reports a syntax error on that line.
        error = true;
        const size_t at = std::min(p.position(), text.size());
        return out + u"@" + std::u16string(text.substr(at));
    }
    return out;
}

}  // namespace kvjs
