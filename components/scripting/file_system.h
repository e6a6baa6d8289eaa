// Scripting.FileSystemObject's parts shared between its source files: path text, the error
// numbers scripts see, argument reading and the objects one part hands to another.
//
// Paths are kept as the script wrote them, made absolute: Windows paths ("C:\x\y") with '\'
// between components, native paths ("/tmp/x") with '/'. Every file operation goes through
// the layer's file API, which maps drive letters through the drive table.
//
// Every object here is an apartment object (one thread at a time); AddRef and Release are
// safe from any thread.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "kvwin/dispatch_object.h"
#include "scripting.h"
#include "win/files.h"

namespace kvscripting {

// The run-time error numbers of the scripting objects, as the script languages report them.
inline constexpr HRESULT kBadFileMode = HRESULT(0x800A0036);        // 54
inline constexpr HRESULT kFileNotFound = HRESULT(0x800A0035);       // 53
inline constexpr HRESULT kFileExists = HRESULT(0x800A003A);         // 58
inline constexpr HRESULT kInputPastEnd = HRESULT(0x800A003E);       // 62
inline constexpr HRESULT kDeviceUnavailable = HRESULT(0x800A0044);  // 68
inline constexpr HRESULT kPermissionDenied = HRESULT(0x800A0046);   // 70
inline constexpr HRESULT kPathFileAccess = HRESULT(0x800A004B);     // 75
inline constexpr HRESULT kPathNotFound = HRESULT(0x800A004C);       // 76
inline constexpr HRESULT kOutOfMemory = HRESULT(0x800A0007);        // 7

// The description scripts see for one of the codes above ("" for others).
std::u16string_view ErrorText(HRESULT code);
// Fails the call with one of the codes above and its description.
HRESULT FailWith(kvwin::DispatchCall& call, HRESULT code);
// Fails the call with the code that stands for a Win32 error (GetLastError()).
HRESULT FailWithLastError(kvwin::DispatchCall& call, DWORD error);

// ---- arguments ------------------------------------------------------------------------------
// Argument i as text (numbers and dates converted); false when absent or not convertible.
bool ArgText(const kvwin::DispatchCall& call, UINT i, std::u16string& text);
// Argument i as a number or a boolean; `fallback` when absent.
bool ArgLong(const kvwin::DispatchCall& call, UINT i, long fallback, long& value);
bool ArgBool(const kvwin::DispatchCall& call, UINT i, bool fallback, bool& value);
// Put value as text or number.
bool PutLong(const kvwin::DispatchCall& call, long& value);

// ---- paths ----------------------------------------------------------------------------------
inline bool IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}
// The separator a path uses between components: '/' for a native path, '\' otherwise.
char16_t SeparatorOf(std::u16string_view path);
// "C:" for a path that starts with a drive letter, "" otherwise.
std::u16string DriveName(std::u16string_view path);
// The path made absolute against the current folder, "." and ".." resolved, separators of
// the path's own kind, no trailing separator except at a root ("C:\", "/").
std::u16string AbsolutePath(std::u16string_view path);
// The last component (trailing separators ignored); "" for a root.
std::u16string FileNamePart(std::u16string_view path);
// Everything before the last component, without its trailing separator except at a root.
std::u16string ParentPart(std::u16string_view path);
// base joined to name with one separator of base's kind.
std::u16string JoinPath(std::u16string_view base, std::u16string_view name);
bool EndsWithSeparator(std::u16string_view path);
bool HasWildcard(std::u16string_view name);

// ---- file facts -----------------------------------------------------------------------------
// GetFileAttributesW's answer; INVALID_FILE_ATTRIBUTES when the path does not exist.
DWORD AttributesOf(std::u16string_view path);
// The directory entry for a path (sizes, times, attributes); false when it is missing.
bool FindEntry(std::u16string_view path, WIN32_FIND_DATAW& entry);
// Calls visit(entry) for each directory entry `pattern` matches (a folder joined with "*",
// or a wildcard in the last part), "." and ".." left out; nothing when none matches.
void ForEachEntry(const std::u16string& pattern,
                  const std::function<void(const WIN32_FIND_DATAW&)>& visit);
// A file time as an automation date in local time.
double DateFromFileTime(const FILETIME& time);

// ---- objects --------------------------------------------------------------------------------
// Each returns a new object in *result as VT_DISPATCH (nothing when result is null).
HRESULT ReturnFile(VARIANT* result, std::u16string path);
HRESULT ReturnFolder(VARIANT* result, std::u16string path);
HRESULT ReturnDrive(VARIANT* result, char letter);
HRESULT ReturnDrives(VARIANT* result);

// Runs the FileSystemObject's method `name` (DeleteFile, CopyFolder, ...) with these
// arguments (Invoke's order: last first) for a member of a File or Folder; a failure is
// recorded on `call`.
HRESULT RunFileSystemMethod(std::u16string_view name, kvwin::DispatchCall& call,
                            std::vector<VARIANT>& reversed_args);

// The text stream formats and modes of OpenTextFile.
enum class IoMode { Reading = 1, Writing = 2, Appending = 8 };
enum class Tristate { UseDefault = -2, True = -1, False = 0 };

// Opens a text stream on a file; how the file is opened follows the mode: Reading needs it,
// Writing empties or creates it, Appending creates it when missing. `create` allows a
// missing file; `unicode` writes and reads UTF-16LE. On failure calls call.Fail.
HRESULT OpenTextStream(kvwin::DispatchCall& call, const std::u16string& path, IoMode mode,
                       bool create, bool overwrite, Tristate format);

}  // namespace kvscripting
