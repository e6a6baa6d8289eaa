// The message table behind a module handle, for FormatMessageW's FROM_HMODULE.
#pragma once

#include <memory>

#include "message_table.h"
#include "win/types.h"

namespace kvwin::messages {

// What a module handle holds for FormatMessageW. Immutable once made, so it is read from
// many threads without a lock; the shared pointer keeps it (and its file mapping) alive
// while a call reads it, even if FreeLibrary runs meanwhile.
struct ModuleMessages {
    MappedFile file;     // empty for a built-in module
    MessageTable table;  // views into `file` or into a built-in array
};

// The messages of a module handle: a data-file module of LoadLibraryExW, a built-in one,
// or a loaded shared object (its ".kavrel_messages" section, if any; null = the
// executable). Returns 0, ERROR_INVALID_HANDLE for a handle that names no module, or
// ERROR_RESOURCE_TYPE_NOT_FOUND for a module without a message table.
DWORD MessagesOfModule(HMODULE module, std::shared_ptr<const ModuleMessages>& out);

}  // namespace kvwin::messages
