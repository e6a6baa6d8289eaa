// The pattern rewriting and the bounded matcher.
#include "regexp_engine.h"

#include "errors.h"

namespace kvvbs::regex {
namespace {

// The first try's match limit: far beyond what a sane pattern needs on a large text, and
// short enough (tens of milliseconds) that a runaway search soon reaches the watched retry.
constexpr uint32_t kQuickMatchLimit = 5'000'000;
// With no script to interrupt the search, it ends here.
constexpr uint32_t kLoneMatchLimit = 500'000'000;
// Backtracking memory, in KiB.
constexpr uint32_t kHeapLimitKiB = 64 * 1024;

[[noreturn]] void Fail(int number) {
    static const struct {
        int number;
        const char16_t* text;
    } kTexts[] = {
        {kErrRegexSyntax, u"Syntax error in regular expression"},
        {kErrRegexQuantifier, u"Unexpected quantifier"},
        {kErrRegexBracket, u"Expected ']' in regular expression"},
        {kErrRegexParen, u"Expected ')' in regular expression"},
        {kErrRegexRange, u"Invalid range in character set"},
    };
    for (const auto& t : kTexts) {
        if (t.number == number)
            Throw(number, t.text);
    }
    Throw(number);
}

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}
bool IsLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// The ASCII sets the language's class escapes stand for, as class contents, for patterns
// with IgnoreCase (without it PCRE2's own escapes are these sets). Case folding closes a
// class over case, so the non-word set leaves out the two characters whose case partners
// are ASCII letters (U+017F long s, U+212A Kelvin sign); otherwise it would take in s and k.
constexpr std::u16string_view kWord = u"A-Za-z0-9_";
constexpr std::u16string_view kNotWord =
    u"\\x00-/:-@\\[-\\^\\x60\\{-\\u017e\\u0180-\\u2129\\u212b-\\uffff";
constexpr std::u16string_view kDigit = u"0-9";
constexpr std::u16string_view kNotDigit = u"\\x00-/:-\\uffff";
constexpr std::u16string_view kSpace = u"\\t\\n\\x0b\\f\\r ";
constexpr std::u16string_view kNotSpace = u"\\x00-\\x08\\x0e-\\x1f!-\\uffff";

// Class contents for \d \D \w \W \s \S.
std::u16string_view ClassEscape(char16_t c) {
    switch (c) {
        case u'd':
            return kDigit;
        case u'D':
            return kNotDigit;
        case u'w':
            return kWord;
        case u'W':
            return kNotWord;
        case u's':
            return kSpace;
        case u'S':
            return kNotSpace;
        default:
            return {};
    }
}

// Length of a quantifier in braces at p ({n}, {n,}, {n,m}), or 0 when the brace is a
// literal one.
size_t BraceQuantifier(std::u16string_view p, size_t i) {
    size_t k = i + 1;
    size_t digits = 0;
    while (k < p.size() && IsDigit(p[k]))
        ++k, ++digits;
    if (digits == 0)
        return 0;
    if (k < p.size() && p[k] == u',') {
        ++k;
        while (k < p.size() && IsDigit(p[k]))
            ++k;
    }
    return k < p.size() && p[k] == u'}' ? k - i + 1 : 0;
}

class Translator {
  public:
    Translator(std::u16string_view p, Options o) : p_(p), o_(o) {}

    std::u16string Run() {
        out_.reserve(p_.size() + 16);
        groups_ = CountGroups();
        while (i_ < p_.size()) {
            char16_t c = p_[i_];
            switch (c) {
                case u'\\':
                    Escape();
                    break;
                case u'[':
                    Class();
                    break;
                case u'(':
                    Open();
                    break;
                case u')':
                    out_ += c;
                    ++i_;
                    last_ = Last::Atom;
                    break;
                case u'|':
                    out_ += c;
                    ++i_;
                    last_ = Last::None;
                    break;
                case u'^':
                    out_ += o_.multiline ? u"(?:^|(?<=\\r))" : u"^";
                    ++i_;
                    last_ = Last::None;
                    break;
                case u'$':
                    out_ += o_.multiline ? u"(?:$|(?=\\r))" : u"$";
                    ++i_;
                    last_ = Last::None;
                    break;
                case u'*':
                case u'+':
                case u'?':
                    Quantifier(1);
                    break;
                case u'{': {
                    size_t n = BraceQuantifier(p_, i_);
                    if (n) {
                        Quantifier(n);
                    } else {
                        out_ += u"\\{";
                        ++i_;
                        last_ = Last::Atom;
                    }
                    break;
                }
                default:
                    out_ += c;
                    ++i_;
                    last_ = Last::Atom;
                    break;
            }
        }
        return std::move(out_);
    }

  private:
    enum class Last { None, Atom, Quantifier };

    // The capturing groups: every '(' not escaped, not in a class, not followed by '?'.
    uint32_t CountGroups() const {
        uint32_t n = 0;
        bool in_class = false;
        for (size_t k = 0; k < p_.size(); ++k) {
            char16_t c = p_[k];
            if (c == u'\\')
                ++k;
            else if (in_class)
                in_class = c != u']';
            else if (c == u'[')
                in_class = true;
            else if (c == u'(' && (k + 1 >= p_.size() || p_[k + 1] != u'?'))
                ++n;
        }
        return n;
    }

    // A quantifier of n characters at i_; a lazy mark may follow it.
    void Quantifier(size_t n) {
        if (last_ != Last::Atom)
            Fail(kErrRegexQuantifier);
        out_.append(p_.substr(i_, n));
        i_ += n;
        if (i_ < p_.size() && p_[i_] == u'?') {
            out_ += u'?';
            ++i_;
        }
        last_ = Last::Quantifier;
    }

    void Open() {
        if (i_ + 1 < p_.size() && p_[i_ + 1] == u'?') {
            char16_t k = i_ + 2 < p_.size() ? p_[i_ + 2] : u'\0';
            if (k != u':' && k != u'=' && k != u'!')
                Fail(kErrRegexSyntax);
            out_.append(p_.substr(i_, 3));
            i_ += 3;
        } else {
            out_ += u'(';
            ++i_;
        }
        last_ = Last::None;
    }

    // An escape outside a class.
    void Escape() {
        if (i_ + 1 >= p_.size())
            Fail(kErrRegexSyntax);
        char16_t c = p_[i_ + 1];
        i_ += 2;
        last_ = Last::Atom;
        if (IsDigit(c) && c != u'0') {
            Number(c);
            return;
        }
        if (!IsLetter(c)) {
            out_ += u'\\';  // \0 and marks: the same for both
            out_ += c;
            return;
        }
        switch (c) {
            case u'b':
            case u'B':
                last_ = Last::None;
                if (!o_.ignore_case) {
                    out_ += u'\\';
                    out_ += c;
                } else if (c == u'b') {
                    out_ +=
                        u"(?:(?<=[A-Za-z0-9_])(?![A-Za-z0-9_])|(?<![A-Za-z0-9_])(?=[A-Za-z0-9_]))";
                } else {
                    out_ +=
                        u"(?:(?<=[A-Za-z0-9_])(?=[A-Za-z0-9_])|(?<![A-Za-z0-9_])(?![A-Za-z0-9_]))";
                }
                return;
            case u'd':
            case u'D':
            case u'w':
            case u'W':
            case u's':
            case u'S':
                // Case folding makes PCRE2's sets Unicode ones; spell out the ASCII sets.
                if (o_.ignore_case) {
                    out_ += u'[';
                    out_ += ClassEscape(c);
                    out_ += u']';
                } else {
                    out_ += u'\\';
                    out_ += c;
                }
                return;
            default:
                CharacterEscape(c);
                return;
        }
    }

    // \N: a back reference when the pattern has group N, else an octal code (up to \377)
    // or, for 8 and 9, the digit itself. i_ is past the first digit.
    void Number(char16_t first) {
        size_t from = i_ - 1, end = i_;
        while (end < p_.size() && IsDigit(p_[end]))
            ++end;
        uint32_t n = 0;
        for (size_t k = from; k < end && n <= groups_; ++k)
            n = n * 10 + uint32_t(p_[k] - u'0');
        if (n <= groups_) {
            out_ += u'\\';
            out_.append(p_.substr(from, end - from));
            out_ += u"(?:)";  // the number ends here
            i_ = end;
            return;
        }
        if (first >= u'8') {
            out_ += first;
            return;
        }
        uint32_t code = uint32_t(first - u'0');
        size_t k = i_;
        while (k < p_.size() && k < i_ + 2 && p_[k] >= u'0' && p_[k] <= u'7' &&
               code * 8 + uint32_t(p_[k] - u'0') <= 0377)
            code = code * 8 + uint32_t(p_[k++] - u'0');
        i_ = k;
        static constexpr char16_t kHex[] = u"0123456789abcdef";
        out_ += {u'\\', u'x', kHex[code >> 4], kHex[code & 15]};
    }

    // The escapes that stand for one character, in or out of a class (c follows the
    // backslash, i_ is past it). Letters without a meaning of their own stand for themselves.
    void CharacterEscape(char16_t c) {
        switch (c) {
            case u'f':
            case u'n':
            case u'r':
            case u't':
            case u'x':  // \xhh, else the letter (PCRE2_ALT_BSUX)
            case u'u':  // \uhhhh, likewise
                out_ += u'\\';
                out_ += c;
                return;
            case u'v':
                out_ += u"\\x0b";
                return;
            case u'c':
                if (i_ < p_.size() && IsLetter(p_[i_])) {
                    out_ += u"\\c";
                    out_ += p_[i_++];
                } else {
                    out_ += u"\\\\c";
                }
                return;
            default:
                out_ += c;
                return;
        }
    }

    void Class() {
        out_ += u'[';
        ++i_;
        if (i_ < p_.size() && p_[i_] == u'^') {
            out_ += u'^';
            ++i_;
        }
        // A ']' right away closes an empty class (PCRE2_ALLOW_EMPTY_CLASS agrees).
        while (i_ < p_.size() && p_[i_] != u']') {
            char16_t c = p_[i_];
            if (c == u'\\') {
                if (i_ + 1 >= p_.size())
                    Fail(kErrRegexBracket);
                char16_t e = p_[i_ + 1];
                i_ += 2;
                std::u16string_view set = ClassEscape(e);
                if (!set.empty()) {
                    if (o_.ignore_case) {
                        out_ += set;
                    } else {
                        out_ += u'\\';
                        out_ += e;
                    }
                } else if (e == u'b') {
                    out_ += u"\\x08";
                } else if (!IsLetter(e)) {
                    out_ += u'\\';
                    out_ += e;
                } else {
                    CharacterEscape(e);
                }
            } else if (c == u'[') {
                out_ += u"\\[";  // not a POSIX class here
                ++i_;
            } else {
                out_ += c;
                ++i_;
            }
        }
        if (i_ >= p_.size())
            Fail(kErrRegexBracket);
        out_ += u']';
        ++i_;
        last_ = Last::Atom;
    }

    std::u16string_view p_;
    Options o_;
    size_t i_ = 0;
    std::u16string out_;
    Last last_ = Last::None;
    uint32_t groups_ = 0;
};

// The script error for a PCRE2 compile error.
int CompileError(int code) {
    switch (code) {
        case 106:  // missing terminating ] for character class
            return kErrRegexBracket;
        case 108:  // range out of order in character class
        case 150:  // invalid range in character class
            return kErrRegexRange;
        case 109:  // quantifier does not follow a repeatable item
            return kErrRegexQuantifier;
        case 114:  // missing closing parenthesis
            return kErrRegexParen;
        case 121:  // pattern too complicated
        case 186:  // nested too deeply
        case 119:  // parentheses nested too deeply
            return kErrOutOfStack;
        default:
            return kErrRegexSyntax;
    }
}

int WatchStop(pcre2_callout_block_16*, void* data) {
    const auto* stop = static_cast<const std::atomic<bool>*>(data);
    return stop->load(std::memory_order_relaxed) ? PCRE2_ERROR_CALLOUT : 0;
}

}  // namespace

std::u16string Translate(std::u16string_view pattern, Options options) {
    return Translator(pattern, options).Run();
}

Pattern::Code Pattern::CompileText(std::u16string_view text, uint32_t options) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code_16* code = pcre2_compile_16(reinterpret_cast<PCRE2_SPTR16>(text.data()), text.size(),
                                           options, &error, &offset, nullptr);
    if (!code) {
        if (error == PCRE2_ERROR_NOMEMORY)
            Throw(kErrOutOfMemory);
        Fail(CompileError(error));
    }
    return Code(code);
}

std::unique_ptr<Pattern> Pattern::Compile(std::u16string_view pattern, Options options) {
    std::unique_ptr<Pattern> p(new Pattern());
    p->source_ = Translate(pattern, options);
    // Newlines are LF alone (what '.' leaves out); '$' is the end of the text unless
    // Multiline; '^' in Multiline also matches after a final newline.
    p->options_ = PCRE2_ALT_BSUX | PCRE2_MATCH_UNSET_BACKREF | PCRE2_ALLOW_EMPTY_CLASS |
                  PCRE2_DOLLAR_ENDONLY | PCRE2_ALT_CIRCUMFLEX | PCRE2_NEVER_UTF |
                  PCRE2_NEVER_BACKSLASH_C;
    if (options.ignore_case)
        p->options_ |= PCRE2_CASELESS | PCRE2_UCP;
    if (options.multiline)
        p->options_ |= PCRE2_MULTILINE;
    p->code_ = CompileText(p->source_, p->options_);
    uint32_t groups = 0;
    pcre2_pattern_info_16(p->code_.get(), PCRE2_INFO_CAPTURECOUNT, &groups);
    p->groups_ = groups;
    return p;
}

pcre2_code_16* Pattern::WatchableCode() {
    if (!watchable_)
        watchable_ = CompileText(source_, options_ | PCRE2_AUTO_CALLOUT);
    return watchable_.get();
}

Pattern::Search::Search(Pattern& pattern, const std::atomic<bool>* stop)
    : pattern_(pattern), stop_(stop) {
    data_.reset(pcre2_match_data_create_from_pattern_16(pattern.code_.get(), nullptr));
    quick_.reset(pcre2_match_context_create_16(nullptr));
    if (!data_ || !quick_)
        Throw(kErrOutOfMemory);
    pcre2_set_match_limit_16(quick_.get(), kQuickMatchLimit);
    pcre2_set_heap_limit_16(quick_.get(), kHeapLimitKiB);
}

int Pattern::Search::Match(std::u16string_view subject, size_t start) {
    auto text = reinterpret_cast<PCRE2_SPTR16>(subject.data());
    int rc = pcre2_match_16(pattern_.code_.get(), text, subject.size(), start, 0, data_.get(),
                            quick_.get());
    if (rc != PCRE2_ERROR_MATCHLIMIT)
        return rc;
    // A long search: again, now watching the script's interrupt flag.
    if (!watched_) {
        watched_.reset(pcre2_match_context_create_16(nullptr));
        if (!watched_)
            Throw(kErrOutOfMemory);
        pcre2_set_heap_limit_16(watched_.get(), kHeapLimitKiB);
        if (stop_) {
            pcre2_set_match_limit_16(watched_.get(), UINT32_MAX);
            pcre2_set_callout_16(watched_.get(), WatchStop, const_cast<std::atomic<bool>*>(stop_));
        } else {
            pcre2_set_match_limit_16(watched_.get(), kLoneMatchLimit);
        }
    }
    pcre2_code_16* code = stop_ ? pattern_.WatchableCode() : pattern_.code_.get();
    return pcre2_match_16(code, text, subject.size(), start, 0, data_.get(), watched_.get());
}

bool Pattern::Search::FindAppend(std::u16string_view subject, size_t start,
                                 std::vector<uint32_t>& out) {
    int rc = Match(subject, start);
    if (rc == PCRE2_ERROR_NOMATCH)
        return false;
    if (rc < 0) {
        switch (rc) {
            case PCRE2_ERROR_NOMEMORY:
            case PCRE2_ERROR_HEAPLIMIT:
                Throw(kErrOutOfMemory);
            case PCRE2_ERROR_CALLOUT:
                Throw(kErrOutOfStack, u"The script was interrupted");
            default:
                Throw(kErrOutOfStack);
        }
    }
    const PCRE2_SIZE* v = pcre2_get_ovector_pointer_16(data_.get());
    uint32_t pairs = pattern_.groups_ + 1;
    for (uint32_t k = 0; k < pairs; ++k) {
        // Groups past rc took no part; the ovector holds PCRE2_UNSET for the others.
        bool set = int(k) < rc && v[2 * k] != PCRE2_UNSET;
        out.push_back(set ? uint32_t(v[2 * k]) : kUnset);
        out.push_back(set ? uint32_t(v[2 * k + 1]) : kUnset);
    }
    return true;
}

bool Pattern::Search::Find(std::u16string_view subject, size_t start, std::vector<uint32_t>& out) {
    out.clear();
    return FindAppend(subject, start, out);
}

}  // namespace kvvbs::regex
