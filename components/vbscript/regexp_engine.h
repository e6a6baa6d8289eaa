// The regular-expression engine behind the RegExp object: the language's pattern syntax
// rewritten for PCRE2's 16-bit library, and a bounded matcher over it.
//
// Texts are UTF-16 code units, matched without a UTF mode: every code unit is a character,
// as the language sees it, so a lone surrogate is an ordinary character and offsets are
// the script's own positions. IgnoreCase folds case over the whole of Unicode while \w,
// \d, \s and \b stay ASCII.
//
// Bounds: each search first runs under a match limit; a search that reaches it runs again
// with a callout that watches the running script's interrupt flag, so a catastrophic
// pattern ends when the script is interrupted (its time limit), not later. Without a running
// script the search ends at a large fixed limit. Backtracking memory is capped.
//
// Thread safety: a Pattern is immutable after Compile except for its lazily made
// watchable twin; one Pattern is used by one thread at a time (the RegExp object that owns
// it is an apartment object).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#ifndef PCRE2_CODE_UNIT_WIDTH
#define PCRE2_CODE_UNIT_WIDTH 16
#endif
#include <pcre2.h>

namespace kvvbs::regex {

// The script errors of a pattern.
enum : int {
    kErrRegexSyntax = 5017,
    kErrRegexQuantifier = 5018,
    kErrRegexBracket = 5019,
    kErrRegexParen = 5020,
    kErrRegexRange = 5021,
};

struct Options {
    bool ignore_case = false;
    bool multiline = false;
};

// The pattern text PCRE2 compiles for a script's pattern; throws a ScriptError (5017-5021)
// for what the language does not accept.
std::u16string Translate(std::u16string_view pattern, Options options);

inline constexpr uint32_t kUnset = UINT32_MAX;

class Pattern {
  public:
    // Throws a ScriptError (5017-5021) when the pattern is not valid.
    static std::unique_ptr<Pattern> Compile(std::u16string_view pattern, Options options);
    ~Pattern() = default;
    Pattern(const Pattern&) = delete;
    Pattern& operator=(const Pattern&) = delete;

    uint32_t GroupCount() const { return groups_; }

    // One search's working state; made once for a run of searches over one text.
    class Search {
      public:
        // stop: the running script's interrupt flag, or null.
        Search(Pattern& pattern, const std::atomic<bool>* stop);
        ~Search() = default;
        Search(const Search&) = delete;
        Search& operator=(const Search&) = delete;

        // The first match at or after start: true with (start, end) pairs of the whole match
        // and every group in out (kUnset for groups that took no part); false when there is
        // none. Throws a ScriptError when the search is stopped or exceeds its bounds.
        bool Find(std::u16string_view subject, size_t start, std::vector<uint32_t>& out);
        // The same, appending the pairs to out (for collecting many matches).
        bool FindAppend(std::u16string_view subject, size_t start, std::vector<uint32_t>& out);

      private:
        struct FreeData {
            void operator()(pcre2_match_data_16* d) const { pcre2_match_data_free_16(d); }
        };
        struct FreeContext {
            void operator()(pcre2_match_context_16* c) const { pcre2_match_context_free_16(c); }
        };
        int Match(std::u16string_view subject, size_t start);

        Pattern& pattern_;
        const std::atomic<bool>* stop_;
        std::unique_ptr<pcre2_match_data_16, FreeData> data_;
        std::unique_ptr<pcre2_match_context_16, FreeContext> quick_;    // the first, limited try
        std::unique_ptr<pcre2_match_context_16, FreeContext> watched_;  // the watched retry
    };

  private:
    struct FreeCode {
        void operator()(pcre2_code_16* c) const { pcre2_code_free_16(c); }
    };
    using Code = std::unique_ptr<pcre2_code_16, FreeCode>;
    Pattern() = default;
    static Code CompileText(std::u16string_view text, uint32_t options);
    pcre2_code_16* WatchableCode();  // the pattern compiled with callouts, made at first need

    std::u16string source_;  // the translated text
    uint32_t options_ = 0;
    Code code_;
    Code watchable_;  // with automatic callouts
    uint32_t groups_ = 0;
};

}  // namespace kvvbs::regex
