#include "wql/like.h"

#include "wql/case_fold.h"

namespace kvwmi::wql {

namespace {

// The end of the set that starts at pattern[open] == '[', or npos when it is not closed.
size_t SetEnd(std::u16string_view pattern, size_t open) {
    size_t i = open + 1;
    if (i < pattern.size() && pattern[i] == u'^')
        ++i;
    if (i < pattern.size() && pattern[i] == u']')
        ++i;  // a leading ] is a member
    return pattern.find(u']', i);
}

// Whether `c` is in the set pattern[open..close].
bool InSet(char16_t c, std::u16string_view pattern, size_t open, size_t close) {
    size_t i = open + 1;
    bool negated = i < close && pattern[i] == u'^';
    if (negated)
        ++i;
    char16_t folded = FoldCase(c);
    bool found = false;
    for (; i < close; ++i) {
        char16_t first = pattern[i];
        if (i + 2 < close && pattern[i + 1] == u'-') {
            char16_t last = pattern[i + 2];
            if ((c >= first && c <= last) ||
                (folded >= FoldCase(first) && folded <= FoldCase(last)))
                found = true;
            i += 2;
        } else if (FoldCase(first) == folded) {
            found = true;
        }
    }
    return found != negated;
}

// Matches one pattern element at `p` against `c`; `next` receives the element's end.
bool MatchOne(char16_t c, std::u16string_view pattern, size_t p, size_t& next) {
    if (pattern[p] == u'_') {
        next = p + 1;
        return true;
    }
    if (pattern[p] == u'[') {
        size_t close = SetEnd(pattern, p);
        next = close + 1;
        return InSet(c, pattern, p, close);
    }
    next = p + 1;
    return FoldCase(pattern[p]) == FoldCase(c);
}

}  // namespace

bool IsValidLikePattern(std::u16string_view pattern) {
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == u'[') {
            size_t close = SetEnd(pattern, i);
            if (close == std::u16string_view::npos)
                return false;
            i = close;
        }
    }
    return true;
}

bool LikeMatch(std::u16string_view text, std::u16string_view pattern) {
    // Every element but % matches exactly one character, so remembering only the latest %
    // is enough: backtracking to an earlier one can never find a match the latest misses.
    size_t t = 0, p = 0;
    size_t star = std::u16string_view::npos, star_text = 0;
    while (t < text.size()) {
        size_t next = 0;
        if (p < pattern.size() && pattern[p] == u'%') {
            star = ++p;
            star_text = t;
        } else if (p < pattern.size() && MatchOne(text[t], pattern, p, next)) {
            p = next;
            ++t;
        } else if (star != std::u16string_view::npos) {
            p = star;
            t = ++star_text;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'%')
        ++p;
    return p == pattern.size();
}

}  // namespace kvwmi::wql
