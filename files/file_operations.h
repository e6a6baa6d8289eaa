// File operations with long paths, folder trees and retries while another process holds a
// file. Every other subsystem uses these instead of the raw file calls. They keep no state
// and may run on any thread at once; failures leave the Win32 error as the last error.
//
// Opening for ReadFileWithRetries and WriteFileWithRetries tolerates a file that another
// process holds for a moment: a sharing violation or an access denial is logged as a trace
// ("FileOperation") and the open is tried 15 more times, one second apart, before it fails
// with the first error (logged as an error). Any other open failure fails at once, silently.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/long_path.h"
#include "kvwin/wide_string.h"
#include "win/files.h"

// Code page 1200 in the text-file functions: UTF-16LE with the mark FF FE.
inline constexpr UINT kCodePageUtf16 = 1200;

// True when path names an existing folder.
bool IsDirectory(const WCHAR* path);

// Creates path together with its missing parents; true when the folder exists afterwards
// (last error ERROR_ALREADY_EXISTS when it existed before). logFlag is 0 to log a failure as
// a warning, LogSuppress to stay silent.
bool CreateDirectoryPath(const WCHAR* path, LPSECURITY_ATTRIBUTES securityAttributes,
                         uint32_t logFlag);

// Deletes a file, clearing its read-only attribute first.
bool DeleteFileForce(const WCHAR* path);

// Reads the whole file (below 4 GB) into buffer; size receives its length. The buffer holds
// size + 1 bytes, the last one 0, so it is also a zero-terminated 8-bit string. On failure
// the buffer's contents are not to be relied on.
bool ReadFileWithRetries(const WCHAR* path, std::vector<uint8_t>& buffer, uint32_t& size);

// Reads a text file: a file starting with FF FE is UTF-16LE; one starting with EF BB BF is
// UTF-8 whatever codePage says; any other is 8-bit text in codePage, up to its first zero
// byte. "\r\n" becomes "\n". On failure text is left as it was.
bool ReadTextFile(const WCHAR* path, WString& text, UINT codePage);

// Creates (or replaces) path and writes prefix (zero-terminated, may be null) and then
// length bytes of data; true when everything was written and the file closed.
bool WriteFileWithRetries(const WCHAR* path, const void* data, uint32_t length, const char* prefix,
                          DWORD access, DWORD shareMode);

// Writes text (null counts as empty) with every lone "\n" turned into "\r\n", exclusively:
// in code page 1200 as UTF-16LE with its mark, in 65001 as UTF-8 with its mark, in any
// other code page without one. A text the code page cannot take is saved as UTF-16LE, with
// a warning.
bool SaveEncodedTextFile(const WCHAR* path, const WCHAR* text, UINT codePage);

// Length of kWriteAllZeroTerminated: data is a zero-terminated 8-bit string.
inline constexpr uint32_t kWriteAllZeroTerminated = 0xFFFFFFFFu;

// WriteFile of length bytes; true when it succeeded and wrote every one of them.
bool WriteAll(HANDLE file, const void* data, uint32_t length);

// SetFilePointer; false only when it reports INVALID_SET_FILE_POINTER with an error.
bool SetFilePointerChecked(HANDLE file, LONG distance, DWORD moveMethod);
