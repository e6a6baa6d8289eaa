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

// ---- Loading and freeing modules (winapi/messages/module_loading.cpp) -----------------
#define DONT_RESOLVE_DLL_REFERENCES 0x00000001
#define LOAD_LIBRARY_AS_DATAFILE 0x00000002
#define LOAD_WITH_ALTERED_SEARCH_PATH 0x00000008
#define LOAD_IGNORE_CODE_AUTHZ_LEVEL 0x00000010
#define LOAD_LIBRARY_AS_IMAGE_RESOURCE 0x00000020
#define LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE 0x00000040
#define LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR 0x00000100
#define LOAD_LIBRARY_SEARCH_APPLICATION_DIR 0x00000200
#define LOAD_LIBRARY_SEARCH_USER_DIRS 0x00000400
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#define LOAD_LIBRARY_SEARCH_DEFAULT_DIRS 0x00001000

// With LOAD_LIBRARY_AS_DATAFILE (or _EXCLUSIVE) or LOAD_LIBRARY_AS_IMAGE_RESOURCE the file
// is opened as data, never run: the handle serves FormatMessageW (FROM_HMODULE) and
// FreeLibrary, nothing else. Such a file is a compiled message table, a Windows image (its
// message-table resources are read) or an ELF object (its ".kavrel_messages" section);
// anything else gives ERROR_BAD_EXE_FORMAT. A name without a folder is looked for beside
// the executable, beside the platform library, then in the current folder; "wmiutils.dll"
// and "wininet.dll", named alone or in the system folder (or its "wbem" folder), are
// built in when no such file exists: their tables hold WMI's and the Internet library's
// message texts. Without those flags the module is loaded and run (dlopen; a missing
// "Name.dll" is also tried as "libName.so" and "Name.so") and the handle is its base, as
// GetModuleHandleW gives it. A missing file gives ERROR_MOD_NOT_FOUND; hFile must be null.
KVWIN_API HMODULE LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile, DWORD dwFlags);
KVWIN_API HMODULE LoadLibraryW(LPCWSTR lpLibFileName);

// Releases a handle of LoadLibraryExW (a data-file handle is gone after one call), or one
// reference to a loaded shared object (the executable's handle is never unloaded).
// ERROR_INVALID_HANDLE for a handle that names nothing.
KVWIN_API BOOL FreeLibrary(HMODULE hLibModule);

}  // extern "C"
