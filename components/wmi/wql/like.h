// WQL's LIKE patterns, matched case-insensitively (wql/case_fold.h):
//
//   %        any run of characters, the empty one included
//   _        exactly one character
//   [abc]    one character of the set; [a-f] a range; [^...] one character not in it
//
// A `]` directly after `[` or `[^` belongs to the set, a `-` first or last in a set stands
// for itself, and `[%]` or `[_]` match those characters literally. Pure functions, thread safe.
#pragma once

#include <string_view>

namespace kvwmi::wql {

// False for a pattern with a `[` that is never closed.
bool IsValidLikePattern(std::u16string_view pattern);

// Whether the whole of `text` matches `pattern` (a valid one).
bool LikeMatch(std::u16string_view text, std::u16string_view pattern);

}  // namespace kvwmi::wql
