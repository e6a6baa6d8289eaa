// CreateFileW and the calls that work on an open file handle.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "kvwin/file_object.h"
#include "kvwin/file_security.h"
#include "kvwin/last_error.h"
#include "kvwin/safe_open.h"
#include "native_path.h"
#include "share_lock.h"
#include "win/files.h"

namespace kvwin {

FileObject::FileObject(int fd, std::string path, DWORD access, bool delete_on_close)
    : fd_(fd), path_(std::move(path)), access_(access), delete_on_close_(delete_on_close) {}

void FileObject::DeleteIfStillMine() const {
    // Only the file this handle opened goes; a file (or a link) put in its place since
    // stays, and the way there follows no link another user planted.
    std::string leaf;
    LeafStatus now;
    const UniqueFd parent = OpenParentSafely(path_, leaf, &now);
    struct stat mine {};
    if (parent.valid() && now.exists && StatDescriptor(fd_, &mine) == 0 &&
        mine.st_dev == now.status.st_dev && mine.st_ino == now.status.st_ino) {
        ::unlinkat(parent.get(), leaf.c_str(), 0);
    }
}

FileObject::~FileObject() {
    if (delete_on_close_) {
        try {
            DeleteIfStillMine();
        } catch (...) {
            // Out of memory: the file stays, as when the process is killed.
        }
    }
    ::close(fd_);
}

bool FileObject::CanRead() const {
    return RightsFromAccess(access_) & kShareRead;
}

bool FileObject::CanWrite() const {
    return RightsFromAccess(access_) & kShareWrite;
}

namespace {

std::shared_ptr<FileObject> FileFromHandle(HANDLE handle) {
    return LookupHandleAs<FileObject>(handle, HandleKind::File);
}

bool IsReadOnlyMode(mode_t mode) {
    return (mode & S_IWUSR) == 0;
}

// `access_mode` is what the descriptor was opened with (O_RDONLY, O_WRONLY or O_RDWR).
UniqueFd OpenDescriptor(int folder, const std::string& leaf, int flags, mode_t mode, bool want_read,
                        bool want_write, bool& created, int& access_mode) {
    // Read access as well whenever the permissions allow, so the share locks can be taken.
    if (want_write) {
        access_mode = O_RDWR;
        UniqueFd fd = OpenFileAt(folder, leaf, flags | O_RDWR, mode, &created);
        if (!fd.valid() && errno == EACCES && !want_read) {
            access_mode = O_WRONLY;
            fd = OpenFileAt(folder, leaf, flags | O_WRONLY, mode, &created);
        }
        return fd;
    }
    access_mode = O_RDONLY;
    return OpenFileAt(folder, leaf, flags | O_RDONLY, mode, &created);
}

HANDLE OpenFolder(int parent, const std::string& leaf, const std::string& native, DWORD access,
                  DWORD disposition) {
    if (disposition == CREATE_NEW) {
        SetLastError(ERROR_FILE_EXISTS);
        return INVALID_HANDLE_VALUE;
    }
    if (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    const int fd = ::openat(parent, leaf.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        FailWithErrno();
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = InsertHandle(std::make_shared<FileObject>(fd, native, access, false));
    if (!handle)
        return INVALID_HANDLE_VALUE;
    SetLastError(disposition == OPEN_ALWAYS ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

}  // namespace

}  // namespace kvwin

using namespace kvwin;

extern "C" {

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE /*hTemplateFile*/) {
    std::string native;
    if (!NativeFileName(lpFileName, native))
        return INVALID_HANDLE_VALUE;
    if (dwCreationDisposition < CREATE_NEW || dwCreationDisposition > TRUNCATE_EXISTING ||
        (dwFlagsAndAttributes & FILE_FLAG_OVERLAPPED)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (!ValidateCreationSecurity(lpSecurityAttributes))
        return INVALID_HANDLE_VALUE;
    const bool delete_on_close = dwFlagsAndAttributes & FILE_FLAG_DELETE_ON_CLOSE;
    unsigned rights = RightsFromAccess(dwDesiredAccess);
    if (delete_on_close)
        rights |= kShareDelete;
    const bool want_read = rights & kShareRead;
    const bool want_write = rights & kShareWrite;
    if (dwCreationDisposition == TRUNCATE_EXISTING && !want_write) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }

    // Never through a link another user could have planted, on the way or at the end.
    std::string leaf;
    LeafStatus seen;
    const UniqueFd parent = OpenParentSafely(native, leaf, &seen);
    if (!parent.valid()) {
        const int err = errno;
        SetLastError(err == ENOENT || err == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                     : Win32ErrorFromErrno(err));
        return INVALID_HANDLE_VALUE;
    }
    const struct stat& st = seen.status;
    const bool exists = seen.exists;
    if (exists && S_ISLNK(st.st_mode)) {
        SetLastError(ERROR_CANT_RESOLVE_FILENAME);
        return INVALID_HANDLE_VALUE;
    }
    if (exists && S_ISDIR(st.st_mode)) {
        if (!(dwFlagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        return OpenFolder(parent.get(), leaf, native, dwDesiredAccess, dwCreationDisposition);
    }
    if (exists) {
        if (dwCreationDisposition == CREATE_NEW) {
            SetLastError(ERROR_FILE_EXISTS);
            return INVALID_HANDLE_VALUE;
        }
        const bool truncates =
            dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == TRUNCATE_EXISTING;
        if (IsReadOnlyMode(st.st_mode) && (want_write || delete_on_close || truncates)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
    } else if (dwCreationDisposition == OPEN_EXISTING ||
               dwCreationDisposition == TRUNCATE_EXISTING) {
        SetLastError(MissingFileError(native));
        return INVALID_HANDLE_VALUE;
    }

    int flags = 0;
    if (dwCreationDisposition == CREATE_NEW)
        flags |= O_CREAT | O_EXCL;
    if (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS) {
        flags |= O_CREAT;
    }
    if ((dwDesiredAccess & FILE_APPEND_DATA) &&
        !(dwDesiredAccess & (FILE_WRITE_DATA | GENERIC_WRITE | GENERIC_ALL))) {
        flags |= O_APPEND;
    }
    const mode_t mode = (dwFlagsAndAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    // A file that is created needs a writable descriptor only if the caller asked for one.
    bool created = false;
    int access_mode = O_RDONLY;
    UniqueFd opened = OpenDescriptor(parent.get(), leaf, flags, mode, want_read, want_write,
                                     created, access_mode);
    if (!opened.valid()) {
        const int err = errno;
        if (err == ENOENT) {
            SetLastError(MissingFileError(native));
        } else if (err == EEXIST) {
            SetLastError(ERROR_FILE_EXISTS);
        } else {
            FailWithErrno(err);
        }
        return INVALID_HANDLE_VALUE;
    }
    const int fd = opened.release();

    // A write-only descriptor (a file the caller may write but not read) cannot carry the
    // share locks; such a handle neither claims nor refuses sharing.
    if (access_mode != O_WRONLY) {
        const DWORD share_error = AcquireShare(fd, rights, dwShareMode);
        if (share_error) {
            ::close(fd);
            if (created)
                ::unlinkat(parent.get(), leaf.c_str(), 0);
            SetLastError(share_error);
            return INVALID_HANDLE_VALUE;
        }
    }

    if (!created &&
        (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == TRUNCATE_EXISTING)) {
        // An empty file only gets the times a truncation would give it: truncating marks the
        // file for a flush at its close on some file systems (ext4 takes it for a file being
        // replaced), which costs a device write for a file that may be gone before its data
        // would otherwise ever reach the disk.
        struct stat st {};
        const timespec modifiedNow[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
        const bool empty = access_mode != O_RDONLY && StatDescriptor(fd, &st) == 0 &&
                           S_ISREG(st.st_mode) && st.st_size == 0;
        if (empty ? ::futimens(fd, modifiedNow) != 0 : ::ftruncate(fd, 0) != 0) {
            const int err = errno;
            ::close(fd);
            FailWithErrno(err);
            return INVALID_HANDLE_VALUE;
        }
    }
    // A descriptor given at creation sets the new file's owner and mode; an existing file
    // keeps its own.
    if (created && !ApplyCreationSecurity(fd, native, lpSecurityAttributes, false)) {
        const DWORD error = GetLastError();
        ::close(fd);
        ::unlinkat(parent.get(), leaf.c_str(), 0);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    if (created && (dwFlagsAndAttributes & FILE_ATTRIBUTE_READONLY)) {
        // Read-only takes the write bits away from what the descriptor gave, if it gave any.
        struct stat now {};
        const bool described = lpSecurityAttributes && lpSecurityAttributes->lpSecurityDescriptor;
        ::fchmod(fd, described && StatDescriptor(fd, &now) == 0 ? (now.st_mode & 07555) : 0444);
    }

    HANDLE handle =
        InsertHandle(std::make_shared<FileObject>(fd, native, dwDesiredAccess, delete_on_close));
    if (!handle)
        return INVALID_HANDLE_VALUE;
    const bool reports_existing = !created && (dwCreationDisposition == CREATE_ALWAYS ||
                                               dwCreationDisposition == OPEN_ALWAYS);
    SetLastError(reports_existing ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesRead)
        *lpNumberOfBytesRead = 0;
    auto file = FileFromHandle(hFile);
    if (!file)
        return FALSE;
    if (lpOverlapped || !lpNumberOfBytesRead || (!lpBuffer && nNumberOfBytesToRead)) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    if (!file->CanRead())
        return FailWith(ERROR_ACCESS_DENIED);
    auto* out = static_cast<char*>(lpBuffer);
    DWORD total = 0;
    while (total < nNumberOfBytesToRead) {
        const ssize_t n = ::read(file->fd(), out + total, nNumberOfBytesToRead - total);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EISDIR)
                return FailWith(ERROR_INVALID_FUNCTION);
            return FailWithErrno();
        }
        if (n == 0)
            break;
        total += static_cast<DWORD>(n);
    }
    *lpNumberOfBytesRead = total;
    return TRUE;
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = 0;
    auto file = FileFromHandle(hFile);
    if (!file)
        return FALSE;
    if (lpOverlapped || !lpNumberOfBytesWritten || (!lpBuffer && nNumberOfBytesToWrite)) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    if (!file->CanWrite())
        return FailWith(ERROR_ACCESS_DENIED);
    const auto* in = static_cast<const char*>(lpBuffer);
    DWORD total = 0;
    while (total < nNumberOfBytesToWrite) {
        const ssize_t n = ::write(file->fd(), in + total, nNumberOfBytesToWrite - total);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN)
                break;  // a PIPE_NOWAIT pipe is full: what fitted is written
            *lpNumberOfBytesWritten = total;
            return FailWithErrno();
        }
        total += static_cast<DWORD>(n);
    }
    *lpNumberOfBytesWritten = total;
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE hFile) {
    auto file = FileFromHandle(hFile);
    if (!file)
        return FALSE;
    if (!file->CanWrite())
        return FailWith(ERROR_ACCESS_DENIED);
    return ::fsync(file->fd()) == 0 ? TRUE : FailWithErrno();
}

BOOL SetEndOfFile(HANDLE hFile) {
    auto file = FileFromHandle(hFile);
    if (!file)
        return FALSE;
    if (!file->CanWrite())
        return FailWith(ERROR_ACCESS_DENIED);
    const off_t here = ::lseek(file->fd(), 0, SEEK_CUR);
    if (here < 0 || ::ftruncate(file->fd(), here) != 0)
        return FailWithErrno();
    return TRUE;
}

BOOL GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize) {
    auto file = FileFromHandle(hFile);
    if (!file)
        return FALSE;
    if (!lpFileSize)
        return FailWith(ERROR_INVALID_PARAMETER);
    struct stat st {};
    if (StatDescriptor(file->fd(), &st) != 0)
        return FailWithErrno();
    lpFileSize->QuadPart = S_ISDIR(st.st_mode) ? 0 : st.st_size;
    return TRUE;
}

DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(hFile, &size))
        return INVALID_FILE_SIZE;
    if (lpFileSizeHigh)
        *lpFileSizeHigh = static_cast<DWORD>(size.QuadPart >> 32);
    // A size whose low part is INVALID_FILE_SIZE is told apart by the last error.
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size.QuadPart);
}

BOOL SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove, PLARGE_INTEGER lpNewFilePointer,
                      DWORD dwMoveMethod) {
    auto file = FileFromHandle(hFile);
    if (!file)
        return FALSE;
    int whence;
    switch (dwMoveMethod) {
        case FILE_BEGIN:
            whence = SEEK_SET;
            break;
        case FILE_CURRENT:
            whence = SEEK_CUR;
            break;
        case FILE_END:
            whence = SEEK_END;
            break;
        default:
            return FailWith(ERROR_INVALID_PARAMETER);
    }
    off_t base = 0;
    if (whence == SEEK_CUR)
        base = ::lseek(file->fd(), 0, SEEK_CUR);
    if (whence == SEEK_END) {
        struct stat st {};
        if (StatDescriptor(file->fd(), &st) != 0)
            return FailWithErrno();
        base = st.st_size;
    }
    if (base < 0)
        return FailWithErrno();
    if (liDistanceToMove.QuadPart < 0 && -liDistanceToMove.QuadPart > base) {
        return FailWith(ERROR_NEGATIVE_SEEK);
    }
    const off_t target = ::lseek(file->fd(), base + liDistanceToMove.QuadPart, SEEK_SET);
    if (target < 0)
        return FailWithErrno();
    if (lpNewFilePointer)
        lpNewFilePointer->QuadPart = target;
    return TRUE;
}

DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                     DWORD dwMoveMethod) {
    LARGE_INTEGER distance{};
    if (lpDistanceToMoveHigh) {
        distance.QuadPart = static_cast<LONGLONG>(
            (static_cast<ULONGLONG>(static_cast<DWORD>(*lpDistanceToMoveHigh)) << 32) |
            static_cast<DWORD>(lDistanceToMove));
    } else {
        distance.QuadPart = lDistanceToMove;
    }
    LARGE_INTEGER position{};
    if (!SetFilePointerEx(hFile, distance, &position, dwMoveMethod)) {
        return INVALID_SET_FILE_POINTER;
    }
    if (lpDistanceToMoveHigh) {
        *lpDistanceToMoveHigh = static_cast<LONG>(position.QuadPart >> 32);
    } else if (position.QuadPart > 0xFFFFFFFFLL) {
        // The position does not fit the one value the caller can receive.
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(position.QuadPart);
}

BOOL GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime,
                 LPFILETIME lpLastWriteTime) {
    auto file = FileFromHandle(hFile);
    if (!file)
        return FALSE;
    struct statx sx {};
    if (::statx(file->fd(), "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) {
        return FailWithErrno();
    }
    const auto& born = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_ctime;
    if (lpCreationTime)
        *lpCreationTime = FileTimeFromUnix(born.tv_sec, born.tv_nsec);
    if (lpLastAccessTime) {
        *lpLastAccessTime = FileTimeFromUnix(sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec);
    }
    if (lpLastWriteTime) {
        *lpLastWriteTime = FileTimeFromUnix(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
    }
    return TRUE;
}

}  // extern "C"
