// Which kind of host the library is loaded into.
#pragma once

#include <string_view>

#include "kvwin/wide_string.h"

// Whether a host executable's file name makes it the inventory solution process: its last
// 11 characters, with A-Z lower-cased, are "keldrin.exe". Any prefix is allowed, nothing
// may follow.
bool IsInventoryHostName(WStringView fileName);

// IsInventoryHostName for this process's executable. A path that cannot be read counts as
// any other host.
bool IsInventoryHostProcess();
