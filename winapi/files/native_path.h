// Windows path in, native path out, with the Windows error for a path that cannot be mapped.
#pragma once

#include <string>

#include "win/types.h"

namespace kvwin {

// Null or empty names fail with ERROR_PATH_NOT_FOUND (as most Windows file calls do);
// unmappable drives and UNC paths with the code ToNativePath gives.
bool NativeFileName(LPCWSTR name, std::string& native);

// The parent folder of a native path ("." for a bare name).
std::string ParentFolder(const std::string& native);

// The error for a name whose file is missing: ERROR_FILE_NOT_FOUND when the folder it
// should be in exists, ERROR_PATH_NOT_FOUND when that folder does not.
DWORD MissingFileError(const std::string& native);

// The last component of a native path.
std::string LastComponent(const std::string& native);

}  // namespace kvwin
