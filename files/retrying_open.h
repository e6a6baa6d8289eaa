// The open shared by ReadFileWithRetries and WriteFileWithRetries: CreateFileLong, tried
// again while another process holds the file (see file_operations.h). Stateless; any thread.
#pragma once

#include "files/long_path.h"
#include "kvwin/file_handle.h"
#include "win/files.h"

// Attempts after the first one, and the pause before each.
inline constexpr int kOpenRetries = 15;
inline constexpr DWORD kOpenRetryPauseMs = 1000;

// The open file, or an invalid holder with the first error as last error.
FileHandle OpenWithRetries(const WCHAR* path, DWORD access, DWORD shareMode, DWORD disposition,
                           DWORD flagsAndAttributes);
