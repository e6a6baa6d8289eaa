// Anonymous pipes: two file handles over one kernel pipe, read and written with ReadFile and
// WriteFile like files. Both ends close at exec; a child gets an end as a standard handle.
#include <fcntl.h>
#include <unistd.h>

#include <memory>

#include "kvwin/file_object.h"
#include "kvwin/last_error.h"
#include "win/files.h"

using namespace kvwin;

BOOL CreatePipe(PHANDLE hReadPipe, PHANDLE hWritePipe, LPSECURITY_ATTRIBUTES, DWORD) {
    if (!hReadPipe || !hWritePipe)
        return FailWith(ERROR_INVALID_PARAMETER);
    *hReadPipe = *hWritePipe = nullptr;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return FailWithErrno();
    // Each end's object owns its descriptor once it exists.
    std::shared_ptr<FileObject> read_end, write_end;
    try {
        read_end = std::make_shared<FileObject>(fds[0], "", GENERIC_READ, false);
    } catch (const std::bad_alloc&) {
        ::close(fds[0]);
        ::close(fds[1]);
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
    try {
        write_end = std::make_shared<FileObject>(fds[1], "", GENERIC_WRITE, false);
    } catch (const std::bad_alloc&) {
        ::close(fds[1]);
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
    HANDLE read = InsertHandle(std::move(read_end));
    if (!read)
        return FALSE;
    HANDLE write = InsertHandle(std::move(write_end));
    if (!write) {
        CloseHandle(read);
        return FALSE;
    }
    *hReadPipe = read;
    *hWritePipe = write;
    return TRUE;
}

BOOL SetNamedPipeHandleState(HANDLE hNamedPipe, LPDWORD lpMode, LPDWORD lpMaxCollectionCount,
                             LPDWORD lpCollectDataTimeout) {
    auto file = std::dynamic_pointer_cast<FileObject>(LookupHandle(hNamedPipe));
    if (!file)
        return FailWith(ERROR_INVALID_HANDLE);
    if (lpMaxCollectionCount || lpCollectDataTimeout)
        return FailWith(ERROR_INVALID_PARAMETER);
    if (!lpMode)
        return TRUE;
    if (*lpMode & ~DWORD(PIPE_NOWAIT))
        return FailWith(ERROR_INVALID_PARAMETER);  // byte-mode pipes only
    const int flags = ::fcntl(file->fd(), F_GETFL);
    if (flags < 0)
        return FailWithErrno();
    const int wanted = (*lpMode & PIPE_NOWAIT) ? flags | O_NONBLOCK : flags & ~O_NONBLOCK;
    return ::fcntl(file->fd(), F_SETFL, wanted) == 0 ? TRUE : FailWithErrno();
}
