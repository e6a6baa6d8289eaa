// The system message table, for code inside the layer that wants a text without going
// through FormatMessageW's flags and buffers (the COM runtime's HRESULT texts).
#pragma once

#include <string>

#include "win/types.h"

namespace kvwin {

// The raw text of a message (inserts not expanded, the final CR LF kept), in the same
// languages FormatMessageW searches (0: the fallback order). Returns 0, or
// ERROR_MR_MID_NOT_FOUND / ERROR_RESOURCE_LANG_NOT_FOUND. Thread safe.
KVWIN_API DWORD SystemMessageText(DWORD id, DWORD language, std::u16string& text);

// The symbolic name the built-in tables give a code ("E_FAIL", "WBEM_E_INVALID_CLASS"), or
// null when they give none. Thread safe; the name lives as long as the process.
KVWIN_API const char* MessageSymbolicName(DWORD id);

}  // namespace kvwin
