// The library's wide strings, written once for both targets.
//
// WCHAR is char16_t on Linux and wchar_t on Windows, so a string of WCHAR is a different
// standard type on each; code that builds for both names it through these aliases (the way
// Windows code names std::basic_string<TCHAR>). Header-only, no platform calls: it is part
// of the portable set that the Windows build of the library uses as well.
#pragma once

#include <string>
#include <string_view>

#include "win/types.h"

using WString = std::basic_string<WCHAR>;
using WStringView = std::basic_string_view<WCHAR>;
