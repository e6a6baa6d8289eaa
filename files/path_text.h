// Path text: roots, file-name parts, parents, joining and trailing separators.
//
// Pure text operations on Windows-style paths; '\' and '/' are both separators. Nothing
// here touches the file system. Stateless; any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "kvwin/wide_string.h"

// Where the root of path ends:
//   "\\server\share\x"  the separator after the share name (or the end of the text);
//   "C:\x"              after the separator, whatever keepSeparator says;
//   "C:x"               after the colon;
//   "\x"                after the leading separator;
//   "x\y"               0 (no root).
// Unless keepSeparator is set, one separator at that position is skipped, so the result
// is where the first name after the root starts.
size_t GetPathRootEnd(WStringView path, bool keepSeparator);

// The text after the last separator that a character follows, searched from the root end
// ("C:\a\b\" gives "b\": a trailing separator is not a split point); without one, the text
// after the root.
WString GetFileNamePart(WStringView path);

// The text before that separator; without one, the root itself ("C:\a" gives "C:\",
// "\\server\share\x" gives "\\server\share").
WString GetParentFolder(WStringView path);

// name joined to folder. An empty name gives folder; an empty folder or a rooted name
// ("\\server\...", "D:...") gives name; a name starting with a separator is put under the
// folder's root ("C:\dir" and "\x" give "C:\x"); otherwise folder, a '\' unless folder
// ends with a separator or a ':', and name.
WString CombinePath(WStringView folder, WStringView name);

// Appends '\' to a non-empty path that does not end with a separator.
void EnsureTrailingSeparator(WString& path);

// Removes one final separator.
void RemoveTrailingSeparator(WString& path);

// '\' or '/'.
inline bool IsPathSeparator(WCHAR c) {
    return c == TEXT('\\') || c == TEXT('/');
}
