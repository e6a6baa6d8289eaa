// The process environment as Windows code sees it.
//
// Variable names are case-insensitive, as on Windows. A Linux environment can hold two
// spellings of one name (say "Path" and "PATH"); a read then prefers the exact spelling
// asked for and otherwise takes the first matching entry in environment-block order. A
// write updates the exact spelling and every other spelling present, and a delete removes
// them all, so that after any change made through these functions every spelling agrees.
// Every function is safe to call from any thread: all reads and writes go through the
// layer's one environment lock.
#pragma once

#include "win/handles.h"
#include "win/types.h"

extern "C" {

// Copies the value of lpName into lpBuffer. Returns the value's length without the
// terminating NUL; when nSize is too small, returns the size needed including the NUL and
// leaves the buffer alone. A missing variable gives 0 and ERROR_ENVVAR_NOT_FOUND; a
// variable set to the empty string gives 0 with the last error set to ERROR_SUCCESS.
KVWIN_API DWORD GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize);

// Sets lpName to lpValue, or deletes it when lpValue is null. A null or empty name, or one
// containing '=', fails with ERROR_INVALID_PARAMETER.
KVWIN_API BOOL SetEnvironmentVariableW(LPCWSTR lpName, LPCWSTR lpValue);

// Replaces every %NAME% in lpSrc with the value of NAME (case ignored). Unknown names,
// "%%" and a '%' without a closing partner stay as written. Returns the number of
// characters stored including the NUL, or, when nSize is too small, the size needed
// including the NUL (the buffer's contents are then not to be relied on). A null lpSrc gives 0
// and ERROR_INVALID_PARAMETER.
KVWIN_API DWORD ExpandEnvironmentStringsW(LPCWSTR lpSrc, LPWSTR lpDst, DWORD nSize);

// A copy of the whole environment: "NAME=value" strings one after another, each
// NUL-terminated, with one more NUL at the end. Free it with FreeEnvironmentStringsW.
KVWIN_API LPWSTR GetEnvironmentStringsW(void);
KVWIN_API BOOL FreeEnvironmentStringsW(LPWSTR penv);

// The environment a process started with hToken (as CreateProcessAsUserW does) should get,
// as a UTF-16 block for CREATE_UNICODE_ENVIRONMENT: with bInherit this process's
// environment, else only PATH; then the token's account from the password database: HOME,
// USER and LOGNAME, SHELL (/bin/sh when it has none), and PATH when it was not inherited
// (the sbin folders only for root). For another user than this process's, the variables
// that point into this user's own folders (XDG_*, MAIL) are dropped, and KAVREL_ROOT is set
// to this process's state root, so that the child sees the same machine-wide state. A
// null token gives the inherited part and PATH only. Free the block with
// DestroyEnvironmentBlock. An account missing from the database gives ERROR_NONE_MAPPED.
KVWIN_API BOOL CreateEnvironmentBlock(LPVOID* lpEnvironment, HANDLE hToken, BOOL bInherit);
KVWIN_API BOOL DestroyEnvironmentBlock(LPVOID lpEnvironment);

}  // extern "C"
