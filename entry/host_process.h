// Which kind of host the library is loaded into.
#pragma once

#include <string_view>

// Whether a host executable's file name makes it the inventory solution process: its last
// 11 characters, with A-Z lower-cased, are "keldrin.exe". Any prefix is allowed, nothing
// may follow.
bool IsInventoryHostName(std::u16string_view fileName);

// The file name part of a path: the text after the last '\' or '/', a trailing separator
// dropped first.
std::u16string_view FileNamePart(std::u16string_view path);

// IsInventoryHostName for this process's executable. A path that cannot be read counts as
// any other host.
bool IsInventoryHostProcess();
