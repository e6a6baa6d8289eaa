#include "wildcard.h"

#include <vector>

namespace kvwin {

namespace {

// Simple case folding for the letters file names use most; other characters compare as they
// are.
char16_t Fold(char16_t c) {
    if (c >= u'A' && c <= u'Z')
        return c + 32;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return c + 32;
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2)
        return c + 32;  // Greek
    if (c >= 0x410 && c <= 0x42F)
        return c + 32;  // Cyrillic
    if (c >= 0x400 && c <= 0x40F)
        return c + 80;
    return c;
}

bool Match(std::u16string_view p, std::u16string_view n) {
    // Iterative match with one backtracking point per '*'.
    size_t pi = 0, ni = 0, star = std::u16string_view::npos, mark = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == u'?' || (p[pi] != u'*' && Fold(p[pi]) == Fold(n[ni])))) {
            ++pi, ++ni;
        } else if (pi < p.size() && p[pi] == u'*') {
            star = pi++;
            mark = ni;
        } else if (star != std::u16string_view::npos) {
            pi = star + 1;
            ni = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == u'*')
        ++pi;
    return pi == p.size();
}

}  // namespace

bool MatchesWildcard(std::u16string_view pattern, std::u16string_view name) {
    if (Match(pattern, name))
        return true;
    // "x.*" also matches "x": the ".*" stands for an empty extension.
    if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == u".*" &&
        name.find(u'.') == std::u16string_view::npos) {
        return Match(pattern.substr(0, pattern.size() - 2), name);
    }
    return false;
}

}  // namespace kvwin
