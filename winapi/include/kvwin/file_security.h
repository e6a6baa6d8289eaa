// Security descriptors on files and folders the layer creates.
//
// CreateFileW and CreateDirectoryW take the descriptor of their SECURITY_ATTRIBUTES through
// these two calls: validate before creating, apply to what was created. Applying maps the
// descriptor onto the owner, group and mode bits of the new object by the table in
// docs/platform/security.md (the same table SetFileSecurityW uses). Safe from any thread.
#pragma once

#include <string>

#include "win/types.h"

namespace kvwin {

// True when `attributes` is null, carries no descriptor, or carries a well-formed one;
// otherwise false with ERROR_INVALID_SECURITY_DESCR.
KVWIN_API bool ValidateCreationSecurity(const SECURITY_ATTRIBUTES* attributes);

// Applies the descriptor of `attributes` (nothing when there is none) to the file or folder
// just created at `native_path`, through `fd` when it is not -1. Owner and group follow the
// descriptor's owner and group when it has them; the mode follows its DACL when present,
// else the object keeps the mode it was created with. False with the Windows error
// (ERROR_INVALID_OWNER, ERROR_INVALID_PRIMARY_GROUP, ERROR_ACCESS_DENIED); the caller then
// removes the object and fails the creation.
KVWIN_API bool ApplyCreationSecurity(int fd, const std::string& native_path,
                                     const SECURITY_ATTRIBUTES* attributes, bool folder);

}  // namespace kvwin
