// Loaded modules: the executable and the shared objects mapped into this process.
//
// An HMODULE is the address at which the module's image starts, as on Windows. A module is
// found by its Windows-style name or its Linux file name, case-insensitively: "Colvane.dll"
// (or "Colvane") finds a loaded Colvane.dll, libColvane.so, libColvane.so.1 or Colvane.so.
// A name with a '/' or '\' is a path and is compared as a whole path. Names of Windows
// system libraries ("kernel32.dll") match nothing here and give ERROR_MOD_NOT_FOUND.
// Every function here is safe to call from any thread.
#pragma once

#include "win/handles.h"
#include "win/types.h"

extern "C" {

// Full path of a module (null: the executable). When nSize is too small, the path is
// truncated to nSize - 1 characters plus a NUL, nSize is returned and the last error is
// ERROR_INSUFFICIENT_BUFFER. A handle that names no loaded module gives 0 and
// ERROR_MOD_NOT_FOUND.
KVWIN_API DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);

// The module of a name (null: the executable); 0 and ERROR_MOD_NOT_FOUND when none is loaded.
KVWIN_API HMODULE GetModuleHandleW(LPCWSTR lpModuleName);

#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x00000001
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004
// As GetModuleHandleW; with FROM_ADDRESS, lpModuleName is any address inside the module.
// Without UNCHANGED_REFCOUNT the module's reference count is raised (PIN: it stays loaded
// for good).
KVWIN_API BOOL GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule);

// As GetModuleFileNameW for this process, named by GetCurrentProcess() (or a handle to
// this process). Truncation copies nSize - 1 characters plus a NUL and returns nSize - 1.
// Other processes' modules are not reachable yet: any other handle gives
// ERROR_INVALID_HANDLE.
KVWIN_API DWORD GetModuleFileNameExW(HANDLE hProcess, HMODULE hModule, LPWSTR lpFilename,
                                     DWORD nSize);

}  // extern "C"
