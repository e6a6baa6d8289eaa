// Shell folders and path text.
//
// The well-known folders are Windows paths on the C: drive, which the drive table maps to the
// state root: a host sees "C:\ProgramData", the files land in <root>/ProgramData. Both
// functions may be called from any thread.
#pragma once

#include "win/types.h"

extern "C" {

#define CSIDL_APPDATA 0x001a
#define CSIDL_LOCAL_APPDATA 0x001c
#define CSIDL_WINDOWS 0x0024
#define CSIDL_SYSTEM 0x0025
#define CSIDL_PROGRAM_FILES 0x0026
#define CSIDL_PROGRAM_FILESX86 0x002a
#define CSIDL_PROGRAM_FILES_COMMON 0x002b
#define CSIDL_COMMON_APPDATA 0x0023
#define CSIDL_COMMON_DOCUMENTS 0x002e
#define CSIDL_FLAG_CREATE 0x8000
#define CSIDL_FLAG_DONT_VERIFY 0x4000
#define CSIDL_FLAG_MASK 0xFF00

#define SHGFP_TYPE_CURRENT 0
#define SHGFP_TYPE_DEFAULT 1

// Fills pszPath (MAX_PATH characters) with the folder csidl names. S_OK; E_INVALIDARG for an
// unknown folder or a null buffer; with CSIDL_FLAG_CREATE the folder and its parents are
// created, and a failure to create them is returned as HRESULT_FROM_WIN32 of the error.
// Without the flag a missing folder is still reported (S_OK), as for CSIDL_FLAG_DONT_VERIFY.
KVWIN_API HRESULT SHGetFolderPathW(HWND hwnd, int csidl, HANDLE hToken, DWORD dwFlags,
                                   LPWSTR pszPath);

// Removes "." and ".." segments from lpszSrc into lpszDst (MAX_PATH characters). ".." above
// the root is dropped, as Windows does; a result that does not fit, or a null argument,
// fails with ERROR_INVALID_PARAMETER / ERROR_FILENAME_EXCED_RANGE.
KVWIN_API BOOL PathCanonicalizeW(LPWSTR lpszDst, LPCWSTR lpszSrc);

}  // extern "C"
