#include "share_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

#include "kvwin/file_lock.h"
#include "kvwin/last_error.h"
#include "win/files.h"

namespace kvwin {

namespace {

// Far beyond any file the layer writes, and below the largest offset the kernel accepts.
constexpr off_t kAccessBase = 0x7FFF'FFFF'0000'0000;
constexpr off_t kDenyBase = kAccessBase + 16;

constexpr unsigned kAllRights = kShareRead | kShareWrite | kShareDelete;

int RightIndex(unsigned right) {
    return right == kShareRead ? 0 : right == kShareWrite ? 1 : 2;
}

int LockByte(int fd, int command, short type, off_t offset) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = offset;
    lock.l_len = 1;
    lock.l_pid = 0;
    int rc;
    do {
        rc = ::fcntl(fd, command, &lock);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0 && command == F_OFD_GETLK)
        return lock.l_type == F_UNLCK ? 0 : 1;
    return rc;
}

// True when another description holds a lock on the byte.
bool Held(int fd, off_t offset) {
    return LockByte(fd, F_OFD_GETLK, F_WRLCK, offset) == 1;
}

using GuardLock = kvwin::ExclusiveFlock;

}  // namespace

unsigned RightsFromAccess(DWORD access) {
    unsigned rights = 0;
    if (access & (GENERIC_READ | GENERIC_ALL | GENERIC_EXECUTE | FILE_READ_DATA | FILE_EXECUTE)) {
        rights |= kShareRead;
    }
    if (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) {
        rights |= kShareWrite;
    }
    if (access & (DELETE | GENERIC_ALL))
        rights |= kShareDelete;
    return rights;
}

DWORD AcquireShare(int fd, unsigned rights, unsigned shared) {
    GuardLock guard(fd);
    if (!guard.ok())
        return Win32ErrorFromErrno(errno);
    const unsigned denied = kAllRights & ~shared;
    for (unsigned right : {kShareRead, kShareWrite, kShareDelete}) {
        if ((rights & right) && Held(fd, kDenyBase + RightIndex(right))) {
            return ERROR_SHARING_VIOLATION;
        }
        if ((denied & right) && Held(fd, kAccessBase + RightIndex(right))) {
            return ERROR_SHARING_VIOLATION;
        }
    }
    for (unsigned right : {kShareRead, kShareWrite, kShareDelete}) {
        if ((rights & right) && LockByte(fd, F_OFD_SETLK, F_RDLCK, kAccessBase + RightIndex(right)))
            return Win32ErrorFromErrno(errno);
        if ((denied & right) && LockByte(fd, F_OFD_SETLK, F_RDLCK, kDenyBase + RightIndex(right)))
            return Win32ErrorFromErrno(errno);
    }
    return 0;
}

bool ShareDenied(int fd, unsigned rights) {
    GuardLock guard(fd);
    for (unsigned right : {kShareRead, kShareWrite, kShareDelete}) {
        if ((rights & right) && Held(fd, kDenyBase + RightIndex(right)))
            return true;
    }
    return false;
}

}  // namespace kvwin
