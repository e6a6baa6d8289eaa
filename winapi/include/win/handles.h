// Kernel handles, last errors and the identity of the running process and thread.
//
// Every handle the layer gives out (files, events, mutexes, mappings, threads, processes,
// tokens, find handles) is an entry in one process-wide table. Handle values are small
// multiples of four, as on Windows; a closed value can be given out again later.
// All functions here are safe to call from any thread.
#pragma once

#include "win/errors.h"
#include "win/types.h"

extern "C" {

// Closes a handle of any kind. A handle that is not open fails with ERROR_INVALID_HANDLE.
// The pseudo-handles of GetCurrentProcess and GetCurrentThread close successfully and stay
// usable, as on Windows.
KVWIN_API BOOL CloseHandle(HANDLE hObject);

#define DUPLICATE_CLOSE_SOURCE 0x00000001
#define DUPLICATE_SAME_ACCESS 0x00000002
// Duplicates a handle within this process (the only process handles may cross here): the
// new handle refers to the same object. A pseudo-handle duplicates to a real handle.
KVWIN_API BOOL DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle,
                               HANDLE hTargetProcessHandle, LPHANDLE lpTargetHandle,
                               DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwOptions);

// The calling thread's last error. Each thread has its own; nothing resets it on success
// unless the function says so.
KVWIN_API DWORD GetLastError(void);
KVWIN_API void SetLastError(DWORD dwErrCode);

// Pseudo-handles: (HANDLE)-1 for the current process and (HANDLE)-2 for the current thread.
KVWIN_API HANDLE GetCurrentProcess(void);
KVWIN_API HANDLE GetCurrentThread(void);
KVWIN_API DWORD GetCurrentProcessId(void);
// The kernel thread id (gettid), so ids are unique across the machine as on Windows.
KVWIN_API DWORD GetCurrentThreadId(void);

}  // extern "C"
