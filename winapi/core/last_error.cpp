// Per-thread last errors and the one errno-to-Win32 table.
#include "kvwin/last_error.h"

#include <cerrno>

namespace {

thread_local DWORD t_last_error = ERROR_SUCCESS;

}  // namespace

extern "C" {

DWORD GetLastError(void) {
    return t_last_error;
}

void SetLastError(DWORD dwErrCode) {
    t_last_error = dwErrCode;
}

}  // extern "C"

namespace kvwin {

DWORD Win32ErrorFromErrno(int err) {
    switch (err) {
        case 0:
            return ERROR_SUCCESS;
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case EEXIST:
            return ERROR_ALREADY_EXISTS;
        case EISDIR:
            return ERROR_ACCESS_DENIED;
        case EBADF:
            return ERROR_INVALID_HANDLE;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        case ENOTEMPTY:
            return ERROR_DIR_NOT_EMPTY;
        case EBUSY:
            return ERROR_BUSY;
        case EXDEV:
            return ERROR_NOT_SAME_DEVICE;
        case EPIPE:
            return ERROR_BROKEN_PIPE;
        case EAGAIN:
            return ERROR_SHARING_VIOLATION;
        case ETIMEDOUT:
            return ERROR_SEM_TIMEOUT;
        case ENOSYS:
        case ENOTSUP:
            return ERROR_NOT_SUPPORTED;
        case ELOOP:
            return ERROR_CANT_RESOLVE_FILENAME;
        case EIO:
            return ERROR_GEN_FAILURE;
        case EFAULT:
            return ERROR_INVALID_ADDRESS;
        case ESRCH:
            return ERROR_INVALID_PARAMETER;
        case ENOEXEC:
            return ERROR_BAD_EXE_FORMAT;
        case E2BIG:
            return ERROR_BAD_ENVIRONMENT;
        case ECHILD:
            return ERROR_WAIT_NO_CHILDREN;
        case EOWNERDEAD:
            return ERROR_ABANDONED_WAIT_0;
        case ERANGE:
        case EOVERFLOW:
            return ERROR_ARITHMETIC_OVERFLOW;
        default:
            return ERROR_GEN_FAILURE;
    }
}

BOOL FailWithErrno() {
    return FailWithErrno(errno);
}

BOOL FailWithErrno(int err) {
    SetLastError(Win32ErrorFromErrno(err));
    return FALSE;
}

}  // namespace kvwin
