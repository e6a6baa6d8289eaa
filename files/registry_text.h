// Reading one registry value as text, whatever simple type it was stored with.
// Stateless; any thread.
#pragma once

#include <string>

#include "kvwin/wide_string.h"
#include "win/registry.h"

// Opens root\subKey with access and reads valueName into text:
//   REG_SZ                   the text up to its first terminator;
//   REG_EXPAND_SZ            the same with its %VARIABLES% expanded;
//   REG_DWORD, REG_BINARY    of 4 bytes: the signed decimal value ("%d").
// Any other type (or size) fails with ERROR_INVALID_DATA. On failure text is left alone and
// the registry's error is the last error.
bool ReadRegistryText(HKEY root, const WCHAR* subKey, const WCHAR* valueName, REGSAM access,
                      WString& text);
