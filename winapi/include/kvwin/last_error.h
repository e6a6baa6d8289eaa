// Mapping of POSIX errno values to Win32 error codes: one table for the whole layer.
#pragma once

#include "win/handles.h"

namespace kvwin {

// The Win32 code that stands for an errno value (ERROR_GEN_FAILURE for one not in the table).
KVWIN_API DWORD Win32ErrorFromErrno(int err);

// Sets the thread's last error from errno (or from `err`) and returns FALSE, so that
// platform functions can end with `return FailWithErrno();`.
KVWIN_API BOOL FailWithErrno();
KVWIN_API BOOL FailWithErrno(int err);

// Sets the last error and returns FALSE.
inline BOOL FailWith(DWORD code) {
    SetLastError(code);
    return FALSE;
}

}  // namespace kvwin
