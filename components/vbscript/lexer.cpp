// The lexer.
#include "lexer.h"

#include <cmath>

#include "convert.h"
#include "errors.h"
#include "kvwin/ascii_case.h"
#include "kvwin/hex_digit.h"

namespace kvvbs {
namespace {

bool IsIdentStart(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c > 127;
}
bool IsIdentPart(char16_t c) {
    return IsIdentStart(c) || (c >= u'0' && c <= u'9') || c == u'_';
}
bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}
bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == 0xA0 || c == u'\f' || c == u'\v';
}

[[noreturn]] void Fail(int number, unsigned line, unsigned column) {
    ScriptError e;
    e.number = number;
    e.compile = true;
    e.line = line;
    e.column = column;
    throw e;
}

class Lexer {
  public:
    explicit Lexer(std::u16string_view text) : s_(text) {}

    std::vector<Token> Run() {
        std::vector<Token> out;
        bool space = false;
        while (i_ < s_.size()) {
            char16_t c = s_[i_];
            if (IsSpace(c)) {
                ++i_;
                space = true;
                continue;
            }
            Token t;
            t.line = line_;
            t.column = unsigned(i_ - line_start_);
            t.space_before = space;
            space = false;
            if (c == u'\r' || c == u'\n') {
                NewLine();
                t.type = Tok::Newline;
                Push(out, std::move(t));
                continue;
            }
            if (c == u'\'') {
                SkipToLineEnd();
                continue;
            }
            if (c == u'_' && ContinuesLine()) {
                continue;
            }
            if (IsIdentStart(c)) {
                size_t b = i_;
                while (i_ < s_.size() && IsIdentPart(s_[i_]))
                    ++i_;
                t.type = Tok::Ident;
                t.text = s_.substr(b, i_ - b);
                t.lower = LowerName(t.text);
                if (t.lower == u"rem") {
                    SkipToLineEnd();
                    continue;
                }
                out.push_back(std::move(t));
                continue;
            }
            if (c == u'[') {
                size_t e = s_.find(u']', i_);
                if (e == std::u16string_view::npos ||
                    s_.substr(i_, e - i_).find(u'\n') != std::u16string_view::npos)
                    Fail(1010, t.line, t.column);
                t.type = Tok::Ident;
                t.text = s_.substr(i_ + 1, e - i_ - 1);
                t.lower = LowerName(t.text);
                i_ = e + 1;
                out.push_back(std::move(t));
                continue;
            }
            if (c == u'"') {
                ReadString(t);
                out.push_back(std::move(t));
                continue;
            }
            if (IsDigit(c) || (c == u'.' && i_ + 1 < s_.size() && IsDigit(s_[i_ + 1]) &&
                               (t.space_before || out.empty() || out.back().type == Tok::Op ||
                                out.back().type == Tok::Newline))) {
                ReadNumber(t);
                out.push_back(std::move(t));
                continue;
            }
            if (c == u'&' && i_ + 1 < s_.size() &&
                (s_[i_ + 1] == u'h' || s_[i_ + 1] == u'H' || s_[i_ + 1] == u'o' ||
                 s_[i_ + 1] == u'O')) {
                if (ReadRadix(t)) {
                    out.push_back(std::move(t));
                    continue;
                }
            }
            if (c == u'#') {
                ReadDate(t);
                out.push_back(std::move(t));
                continue;
            }
            t.type = Tok::Op;
            static const char16_t* const kTwo[] = {u"<=", u">=", u"<>", u"=<", u"=>"};
            for (const char16_t* two : kTwo) {
                if (s_.substr(i_, 2) == two) {
                    t.text = two;
                    if (t.text == u"=<")
                        t.text = u"<=";
                    if (t.text == u"=>")
                        t.text = u">=";
                    break;
                }
            }
            if (t.text.empty()) {
                if (std::u16string_view(u"+-*/\\^&=<>(),.:").find(c) == std::u16string_view::npos)
                    Fail(1032, t.line, t.column);  // invalid character
                t.text = std::u16string(1, c);
            }
            i_ += t.text.size();
            if (t.text == u":") {
                t.type = Tok::Newline;
            }
            Push(out, std::move(t));
        }
        Token end;
        end.type = Tok::Newline;
        end.line = line_;
        end.column = unsigned(i_ - line_start_);
        Push(out, end);
        end.type = Tok::End;
        out.push_back(end);
        return out;
    }

  private:
    // Newlines collapse: a run of statement ends is one.
    static void Push(std::vector<Token>& out, Token t) {
        if (t.type == Tok::Newline && (out.empty() || out.back().type == Tok::Newline)) {
            return;
        }
        out.push_back(std::move(t));
    }

    void NewLine() {
        if (s_[i_] == u'\r' && i_ + 1 < s_.size() && s_[i_ + 1] == u'\n')
            ++i_;
        ++i_;
        ++line_;
        line_start_ = i_;
    }

    void SkipToLineEnd() {
        while (i_ < s_.size() && s_[i_] != u'\n' && s_[i_] != u'\r')
            ++i_;
    }

    // `_` followed by blanks and a line end joins the next line to this one.
    bool ContinuesLine() {
        size_t j = i_ + 1;
        while (j < s_.size() && IsSpace(s_[j]))
            ++j;
        if (j < s_.size() && s_[j] != u'\n' && s_[j] != u'\r')
            return false;
        i_ = j;
        if (i_ < s_.size())
            NewLine();
        return true;
    }

    void ReadString(Token& t) {
        ++i_;
        t.type = Tok::String;
        for (;;) {
            if (i_ >= s_.size() || s_[i_] == u'\n' || s_[i_] == u'\r')
                Fail(1033, t.line, t.column);  // unterminated string constant
            if (s_[i_] == u'"') {
                if (i_ + 1 < s_.size() && s_[i_ + 1] == u'"') {
                    t.text += u'"';
                    i_ += 2;
                    continue;
                }
                ++i_;
                return;
            }
            t.text += s_[i_++];
        }
    }

    void ReadNumber(Token& t) {
        size_t b = i_;
        while (i_ < s_.size() && IsDigit(s_[i_]))
            ++i_;
        bool real = false;
        if (i_ < s_.size() && s_[i_] == u'.') {
            real = true;
            ++i_;
            while (i_ < s_.size() && IsDigit(s_[i_]))
                ++i_;
        }
        if (i_ < s_.size() && (s_[i_] == u'e' || s_[i_] == u'E')) {
            size_t j = i_ + 1;
            if (j < s_.size() && (s_[j] == u'+' || s_[j] == u'-'))
                ++j;
            if (j < s_.size() && IsDigit(s_[j])) {
                real = true;
                i_ = j;
                while (i_ < s_.size() && IsDigit(s_[i_]))
                    ++i_;
            }
        }
        std::string ascii(s_.begin() + b, s_.begin() + i_);
        double d = 0;
        if (ReadCFormDouble(ascii, &d) != std::errc())
            Fail(kErrOverflow, t.line, t.column);
        t.type = Tok::Number;
        t.text = std::u16string(s_.substr(b, i_ - b));
        if (!real && d <= 32767)
            t.number = Value::Integer(int32_t(d));
        else if (!real && d <= 2147483647.0)
            t.number = Value::Long(int32_t(d));
        else
            t.number = Value::Double(d);
        // A type suffix (&, %, #, !, @) is accepted and ignored.
        if (i_ < s_.size() && (s_[i_] == u'%' || s_[i_] == u'!' || s_[i_] == u'@'))
            ++i_;
    }

    bool ReadRadix(Token& t) {
        const bool hex = s_[i_ + 1] == u'h' || s_[i_ + 1] == u'H';
        size_t j = i_ + 2;
        uint64_t n = 0;
        size_t digits = 0;
        for (; j < s_.size(); ++j, ++digits) {
            char16_t c = s_[j];
            const int v = kvwin::HexDigitValue(c);
            if (v < 0 || v >= (hex ? 16 : 8))
                break;
            n = n * (hex ? 16 : 8) + unsigned(v);
            if (n > 0xFFFFFFFFull)
                Fail(kErrOverflow, t.line, t.column);
        }
        if (digits == 0)
            return false;
        t.text = std::u16string(s_.substr(i_, j - i_));
        i_ = j;
        if (i_ < s_.size() && s_[i_] == u'&')
            ++i_;  // the Long suffix
        t.type = Tok::Number;
        if (n <= 0xFFFF && (hex ? digits <= 4 : n <= 0xFFFF))
            t.number = Value::Integer(int32_t(int16_t(uint16_t(n))));
        else
            t.number = Value::Long(int32_t(uint32_t(n)));
        if (t.number.AsInt() >= 0 && t.number.AsInt() <= 32767 && n > 32767)
            t.number = Value::Long(int32_t(n));
        return true;
    }

    void ReadDate(Token& t) {
        size_t e = s_.find(u'#', i_ + 1);
        if (e == std::u16string_view::npos || e - i_ > 64)
            Fail(1032, t.line, t.column);
        std::u16string text(s_.substr(i_ + 1, e - i_ - 1));
        i_ = e + 1;
        VARIANT in, out;
        VariantInit(&in);
        VariantInit(&out);
        in.vt = VT_BSTR;
        in.bstrVal = SysAllocStringLen(text.data(), UINT(text.size()));
        // A date literal is read in en-US forms whatever the locale.
        HRESULT hr = VariantChangeTypeEx(&out, &in, kvwin::kLcidEnglishUS, 0, VT_DATE);
        VariantClear(&in);
        if (FAILED(hr))
            Fail(1032, t.line, t.column);
        t.type = Tok::Date;
        t.number = Value::Date(out.date);
    }

    std::u16string_view s_;
    size_t i_ = 0;
    unsigned line_ = 0;
    size_t line_start_ = 0;
};

}  // namespace

std::u16string LowerName(std::u16string_view name) {
    std::u16string out(name);
    for (auto& c : out)
        c = kvwin::AsciiLower(c);
    return out;
}

std::vector<Token> Tokenize(std::u16string_view text) {
    return Lexer(text).Run();
}

}  // namespace kvvbs
