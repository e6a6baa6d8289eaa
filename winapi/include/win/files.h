// Files and folders.
//
// Paths may be written the Windows way ("C:\ProgramData\x", "\\?\C:\x", forward or back
// slashes) or as native absolute paths; they reach the file system through the drive table
// (kvwin/state_root.h). File names are compared case-sensitively by the file system itself;
// wildcard matching in FindFirstFileW is case-insensitive, as on Windows.
//
// Share modes are enforced between all handles of all processes on the machine: every open
// handle records what it may do and what it lets others do as open-file-description locks
// on the file, so a sharing violation here is the same event it is on Windows.
//
// All functions may be called from any thread. A file handle may be used from several
// threads; calls on one handle are not serialised beyond what the kernel does for one file
// description (the file pointer is shared, as on Windows).
#pragma once

#include "win/access_rights.h"
#include "win/handles.h"

extern "C" {

// ---- access rights --------------------------------------------------------------------------
// The standard and generic rights are in win/access_rights.h.
#define FILE_READ_DATA 0x0001u
#define FILE_LIST_DIRECTORY 0x0001u
#define FILE_WRITE_DATA 0x0002u
#define FILE_ADD_FILE 0x0002u
#define FILE_APPEND_DATA 0x0004u
#define FILE_READ_EA 0x0008u
#define FILE_WRITE_EA 0x0010u
#define FILE_EXECUTE 0x0020u
#define FILE_READ_ATTRIBUTES 0x0080u
#define FILE_WRITE_ATTRIBUTES 0x0100u
#define FILE_ALL_ACCESS 0x001F01FFu
#define FILE_GENERIC_READ 0x00120089u
#define FILE_GENERIC_WRITE 0x00120116u

// ---- share modes ----------------------------------------------------------------------------
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u

// ---- dispositions ---------------------------------------------------------------------------
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

// ---- attributes and flags -------------------------------------------------------------------
#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100u
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400u
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu
#define INVALID_FILE_SIZE 0xFFFFFFFFu
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu

#define FILE_FLAG_WRITE_THROUGH 0x80000000u
#define FILE_FLAG_OVERLAPPED 0x40000000u
#define FILE_FLAG_NO_BUFFERING 0x20000000u
#define FILE_FLAG_RANDOM_ACCESS 0x10000000u
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000u
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000u
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000u

#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

#define MOVEFILE_REPLACE_EXISTING 0x00000001u
#define MOVEFILE_COPY_ALLOWED 0x00000002u
#define MOVEFILE_WRITE_THROUGH 0x00000008u

typedef struct _OVERLAPPED OVERLAPPED, *LPOVERLAPPED;

// Opens or creates a file (or, with FILE_FLAG_BACKUP_SEMANTICS, a folder for attribute
// access). Honours the access rights, the share mode against every other open handle on the
// machine, every disposition (setting ERROR_ALREADY_EXISTS on success when CREATE_ALWAYS or
// OPEN_ALWAYS found the file), FILE_ATTRIBUTE_READONLY on a new file, the read-only
// attribute of an existing one (write access is denied), and FILE_FLAG_DELETE_ON_CLOSE.
// Security attributes are accepted and not applied yet.
KVWIN_API HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                             LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                             DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                             HANDLE hTemplateFile);

// Synchronous reads and writes at the file pointer; lpOverlapped must be null. A read at the
// end of the file succeeds with zero bytes. A handle without the matching access fails with
// ERROR_ACCESS_DENIED.
KVWIN_API BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                        LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);
KVWIN_API BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                         LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
KVWIN_API BOOL FlushFileBuffers(HANDLE hFile);

// Anonymous pipes (byte mode). A write end set to PIPE_NOWAIT writes what fits: WriteFile
// succeeds with fewer bytes written (none) while the pipe is full.
#define PIPE_WAIT 0x00000000
#define PIPE_NOWAIT 0x00000001
KVWIN_API BOOL CreatePipe(PHANDLE hReadPipe, PHANDLE hWritePipe,
                          LPSECURITY_ATTRIBUTES lpPipeAttributes, DWORD nSize);
KVWIN_API BOOL SetNamedPipeHandleState(HANDLE hNamedPipe, LPDWORD lpMode,
                                       LPDWORD lpMaxCollectionCount, LPDWORD lpCollectDataTimeout);
KVWIN_API BOOL SetEndOfFile(HANDLE hFile);

KVWIN_API DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);
KVWIN_API BOOL GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize);
KVWIN_API DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                               DWORD dwMoveMethod);
KVWIN_API BOOL SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove,
                                PLARGE_INTEGER lpNewFilePointer, DWORD dwMoveMethod);
KVWIN_API BOOL GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime,
                           LPFILETIME lpLastWriteTime);

// Deletes a file. Fails with ERROR_ACCESS_DENIED for a read-only file or a folder and with
// ERROR_SHARING_VIOLATION while a handle without FILE_SHARE_DELETE is open on it.
KVWIN_API BOOL DeleteFileW(LPCWSTR lpFileName);

// Renames a file or folder. An existing target fails with ERROR_ALREADY_EXISTS unless
// MOVEFILE_REPLACE_EXISTING is given (files only); across file systems the file is copied
// when MOVEFILE_COPY_ALLOWED is given.
KVWIN_API BOOL MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName);
KVWIN_API BOOL MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags);
KVWIN_API BOOL CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists);

// Creates one folder (its parent must exist: ERROR_PATH_NOT_FOUND otherwise; an existing one
// gives ERROR_ALREADY_EXISTS). Security attributes are accepted and not applied yet.
KVWIN_API BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
KVWIN_API BOOL RemoveDirectoryW(LPCWSTR lpPathName);

// Attributes: FILE_ATTRIBUTE_DIRECTORY from the file type, FILE_ATTRIBUTE_READONLY from the
// owner's write permission, FILE_ATTRIBUTE_HIDDEN for names that start with a dot, and
// FILE_ATTRIBUTE_NORMAL when none of these applies. SetFileAttributesW changes the read-only
// attribute; the others are accepted and have no effect on Linux.
KVWIN_API DWORD GetFileAttributesW(LPCWSTR lpFileName);
KVWIN_API BOOL SetFileAttributesW(LPCWSTR lpFileName, DWORD dwFileAttributes);

typedef struct _WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    WCHAR cFileName[MAX_PATH];
    WCHAR cAlternateFileName[14];
} WIN32_FIND_DATAW, *PWIN32_FIND_DATAW, *LPWIN32_FIND_DATAW;

// Enumerates the entries of one folder whose names match the last component of the pattern
// ('*' and '?', case-insensitive; "*.*" matches every name, as on Windows). "." and ".."
// are reported as Windows reports them. No match gives ERROR_FILE_NOT_FOUND, a missing folder
// ERROR_PATH_NOT_FOUND; the end of the enumeration ERROR_NO_MORE_FILES.
KVWIN_API HANDLE FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData);
KVWIN_API BOOL FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData);
KVWIN_API BOOL FindClose(HANDLE hFindFile);

// The temporary folder by Windows' rules: TMP, then TEMP, then USERPROFILE, the first that is
// set; then TMPDIR and /tmp in place of the Windows folder. Always ends with a separator. Returns
// the length without the terminator, or the size needed (with it) when the buffer is too small.
KVWIN_API DWORD GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer);

// The system folder, "C:\Windows\System32" (under the state root).
KVWIN_API UINT GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize);
KVWIN_API UINT GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize);

}  // extern "C"
