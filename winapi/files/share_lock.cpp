#include "share_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "kvwin/file_lock.h"
#include "kvwin/last_error.h"
#include "win/files.h"

namespace kvwin {

namespace {

// Far beyond any file the layer writes, and below the largest offset the kernel accepts.
constexpr off_t kAccessBase = 0x7FFF'FFFF'0000'0000;
constexpr off_t kDenyBase = kAccessBase + 16;

constexpr unsigned kAllRights = kShareRead | kShareWrite | kShareDelete;

// The rights' bytes lie side by side in each set (read, write, delete), so the bytes of a
// mask are at most two runs and most masks one: a run is tested or locked in one call.
int LockRange(int fd, int command, short type, off_t offset, off_t length) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = offset;
    lock.l_len = length;
    lock.l_pid = 0;
    int rc;
    do {
        rc = ::fcntl(fd, command, &lock);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0 && command == F_OFD_GETLK)
        return lock.l_type == F_UNLCK ? 0 : 1;
    return rc;
}

// Calls LockRange for each run of set bits of `mask` (bit i: byte base + i); stops at the
// first call that does not return 0 and returns what it returned.
int ForEachRun(int fd, int command, short type, off_t base, unsigned mask) {
    for (int i = 0; i < 3;) {
        if (!(mask & (1u << i))) {
            ++i;
            continue;
        }
        int end = i;
        while (end < 3 && (mask & (1u << end)))
            ++end;
        if (const int rc = LockRange(fd, command, type, base + i, end - i))
            return rc;
        i = end;
    }
    return 0;
}

// True when another description holds a lock on any byte of `mask`'s rights in the set at
// `base`.
bool Held(int fd, off_t base, unsigned mask) {
    return ForEachRun(fd, F_OFD_GETLK, F_WRLCK, base, mask) == 1;
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
    rights &= kAllRights;
    const unsigned denied = kAllRights & ~shared;
    // A right asked for that someone refuses to share, or a right refused that someone holds.
    if (Held(fd, kDenyBase, rights) || Held(fd, kAccessBase, denied))
        return ERROR_SHARING_VIOLATION;
    if (ForEachRun(fd, F_OFD_SETLK, F_RDLCK, kAccessBase, rights) ||
        ForEachRun(fd, F_OFD_SETLK, F_RDLCK, kDenyBase, denied))
        return Win32ErrorFromErrno(errno);
    return 0;
}

bool ShareDenied(int fd, unsigned rights) {
    GuardLock guard(fd);
    return Held(fd, kDenyBase, rights & kAllRights);
}

}  // namespace kvwin
