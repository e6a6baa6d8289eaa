// IsDirectory and CreateDirectoryPath: folders with their missing parents.
#include <new>

#include "files/file_operations.h"
#include "files/path_text.h"
#include "kvwin/wide_string.h"
#include "log/agent_log.h"
#include "win/errors.h"
#include "win/text.h"

bool IsDirectory(const WCHAR* path) {
    const DWORD attributes = GetFileAttributesLong(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {

// Creates the parent of path by the same procedure, with the default security: the
// descriptor is the folder's that was asked for, and a descriptor that lets others add
// entries must not open every folder on the way too. False when path has no parent of its
// own (a root) or the parent could not be made.
bool CreateParentFolder(const WCHAR* path, uint32_t logFlag) {
    const WString parent = GetParentFolder(path);
    if (_wcsicmp(parent.c_str(), path) == 0)
        return false;
    return CreateDirectoryPath(parent.c_str(), nullptr, logFlag);
}

}  // namespace

bool CreateDirectoryPath(const WCHAR* path, LPSECURITY_ATTRIBUTES securityAttributes,
                         uint32_t logFlag) {
    if (!path || !*path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const DWORD attributes = GetFileAttributesLong(path);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        const bool folder = attributes & FILE_ATTRIBUTE_DIRECTORY;
        SetLastError(folder ? ERROR_ALREADY_EXISTS : ERROR_CANNOT_MAKE);
        return folder;
    }
    if (CreateDirectoryLong(path, securityAttributes))
        return true;
    DWORD error = GetLastError();
    if (error == ERROR_PATH_NOT_FOUND) {
        try {
            // The level that failed below has logged already.
            if (!CreateParentFolder(path, logFlag))
                return false;
        } catch (const std::bad_alloc&) {
            SetLastError(ERROR_OUTOFMEMORY);
            return false;
        }
        if (CreateDirectoryLong(path, securityAttributes))
            return true;
        error = GetLastError();
    }
    // Another process may have made it in the meantime.
    if (error == ERROR_ALREADY_EXISTS)
        return true;
    if (!(logFlag & LogSuppress)) {
        CEReportEventWin32(LogWarning | logFlag, TEXT("CreateDirectoryPath"), error,
                           TEXT("Cannot create directory '%ls'"), path);
    }
    SetLastError(error);
    return false;
}
