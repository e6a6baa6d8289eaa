// DeleteFileForce: deleting a file even when it is read-only.
#include "files/file_operations.h"

bool DeleteFileForce(const WCHAR* path) {
    const DWORD attributes = GetFileAttributesLong(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    if ((attributes & FILE_ATTRIBUTE_READONLY) &&
        !SetFileAttributesLong(path, attributes & ~FILE_ATTRIBUTE_READONLY)) {
        return false;
    }
    return DeleteFileLong(path) != FALSE;
}
