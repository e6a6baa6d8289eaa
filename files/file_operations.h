// File operations with long paths, folder trees and retries while another process holds a
// file. Every other subsystem uses these instead of the raw file calls. They keep no state
// and may run on any thread at once; failures leave the Win32 error as the last error.
#pragma once

#include <cstdint>

#include "win/files.h"

// Creates path together with its missing parents; true when the folder exists afterwards
// (last error ERROR_ALREADY_EXISTS when it existed before). logFlag is 0 to log a failure as
// a warning, LogSuppress to stay silent.
bool CreateDirectoryPath(const WCHAR* path, LPSECURITY_ATTRIBUTES securityAttributes,
                         uint32_t logFlag);
