// Paths of loaded modules and of the host executable. Stateless; any thread.
#pragma once

#include <string>

#include "kvwin/wide_string.h"
#include "win/modules.h"

// The full path of module (null: the host executable); empty on failure, with the last
// error of GetModuleFileNameW.
WString GetModuleFilePath(HMODULE module);

// The folder module was loaded from: GetParentFolder of GetModuleFilePath.
WString GetModuleFolder(HMODULE module);

// The path of module (null: the executable) in process (null: this one), read into 260
// characters: the file name alone, or the full path when fullPath is set. Empty on failure.
WString GetProcessModuleName(HANDLE process, HMODULE module, bool fullPath);
