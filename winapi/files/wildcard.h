// Windows file-name wildcard matching: '*' any run of characters, '?' one character,
// case-insensitive. As on Windows, a pattern ending in ".*" also matches names without a dot
// ("*.*" matches everything).
#pragma once

#include <string_view>

namespace kvwin {

bool MatchesWildcard(std::u16string_view pattern, std::u16string_view name);

}  // namespace kvwin
