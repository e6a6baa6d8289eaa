// Opening and creating files and folders in places another user can write, without being
// redirected.
//
// Another local user may plant a symbolic link wherever they can create a file: in a folder
// with the sticky bit, in /tmp, in a folder of their own on the way to ours. These calls
// never follow such a link: a path is walked one component at a time from "/" with openat(),
// and a symbolic link is followed only when it belongs to root or to the caller's file-system
// user (links the system and its administrator set up, like /var/run). The last component
// is never followed at all unless it is such a link; new files are created with O_EXCL, so
// "created" always means this call made the file, and only then may a caller change its
// owner or mode (through the descriptor, never by name).
//
// Every call is safe from any thread, keeps errno for the caller on failure, and lets no
// exception out.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <string>

#include "win/types.h"

namespace kvwin {

// One owned descriptor, closed on destruction.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = other.release();
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    KVWIN_API void reset(int fd = -1);

  private:
    int fd_ = -1;
};

// fstat of an open descriptor: 0, or -1 with errno. The C library's fstat hands the kernel an
// empty path that lies in the library's own read-only data, a page that a process loading the
// layer touches for nothing else; this one passes an empty path of the caller's stack.
inline int StatDescriptor(int fd, struct stat* st) {
    char empty[1] = {};
    return ::fstatat(fd, empty, st, AT_EMPTY_PATH);
}

// The folder at absolute native `path`, as a handle to walk from (O_PATH): -1 with errno
// (ELOOP for a link that is not trusted, ENOTDIR, ENOENT, ...) when it cannot be reached
// without following another user's link.
KVWIN_API UniqueFd OpenFolderSafely(const std::string& path);

// What is at the last component of a path (not followed), as the walk to it saw it.
struct LeafStatus {
    bool exists = false;
    struct stat status {};
};

// The folder that holds `path` (opened as OpenFolderSafely does) and the last component of
// `path` in `leaf`. A trusted link as the last component is resolved, so `leaf` then names
// what it points at. "/" and paths ending in ".." have no leaf (EINVAL). The walk looks at
// the leaf anyway (to resolve a trusted link); with `seen`, it keeps what it found there, so
// the caller need not look again.
KVWIN_API UniqueFd OpenParentSafely(const std::string& path, std::string& leaf,
                                    LeafStatus* seen = nullptr);

// Opens `leaf` in `folder` with `flags` (O_NOFOLLOW and O_CLOEXEC added). With O_CREAT the
// file is created exclusively when missing (`*created` set), else the existing file is
// opened without O_CREAT; O_EXCL keeps its meaning. A link at `leaf` fails with ELOOP.
KVWIN_API UniqueFd OpenFileAt(int folder, const std::string& leaf, int flags, mode_t mode,
                              bool* created = nullptr);

// Creates the folder `leaf` in `folder` with `mode` (the umask does not narrow it) or, with
// `may_exist`, opens the folder already there; never through a link. The handle can change
// the folder's owner and mode (fchown, fchmod) when `*created`. -1 with errno; EEXIST when
// it exists and !may_exist, ENOTDIR when what exists is no folder.
KVWIN_API UniqueFd MakeFolderAt(int folder, const std::string& leaf, mode_t mode, bool may_exist,
                                bool* created = nullptr);

// Whether no one but root and the caller can change what the open folder holds: it belongs
// to root or to the caller's file-system user, and if its group or others may write it, it
// has the sticky bit (they may then add entries but not remove or replace anyone else's).
KVWIN_API bool IsFolderTrusted(int folder);

// The file-system user of the calling thread (its impersonated user, else the process's).
KVWIN_API uid_t FileSystemUser();

// The name through which the object an O_PATH handle stands for is changed (chmod, chown):
// an O_PATH handle cannot change its object itself, and this name reaches that very object,
// never a link planted where the path once pointed.
KVWIN_API std::string HandlePath(int fd);

// Changes the mode of the object an O_PATH handle stands for; false with errno.
KVWIN_API bool ChangeModeThrough(int fd, mode_t mode);

}  // namespace kvwin
