// Paths of any length for drive-letter paths: the "\\?\" long-path form and the file calls
// that take it.
//
// A path of the form "X:\..." has its "." and ".." segments removed (when it has any),
// every run of backslashes collapsed into one, and "\\?\" put in front; every other path
// (relative, UNC, with forward slashes, shorter than three characters) is passed unchanged.
// Each primitive builds that form in a buffer of its own and makes the Win32 call with the
// same arguments and result, so failures leave the call's error as the last error.
// Stateless; any thread.
#pragma once

#include <string>

#include "kvwin/wide_string.h"
#include "win/files.h"

// The form of path that reaches the system. A null path gives the empty text.
WString LongPathForm(const WCHAR* path);

BOOL CreateDirectoryLong(const WCHAR* path, LPSECURITY_ATTRIBUTES securityAttributes);
HANDLE CreateFileLong(const WCHAR* path, DWORD access, DWORD shareMode,
                      LPSECURITY_ATTRIBUTES securityAttributes, DWORD disposition,
                      DWORD flagsAndAttributes, HANDLE templateFile);
BOOL DeleteFileLong(const WCHAR* path);
DWORD GetFileAttributesLong(const WCHAR* path);
BOOL SetFileAttributesLong(const WCHAR* path, DWORD attributes);
