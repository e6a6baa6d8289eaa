// Walking paths without following another user's links; see kvwin/safe_open.h.
#include "kvwin/safe_open.h"

#include <fcntl.h>
#include <limits.h>
#include <linux/openat2.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <deque>

namespace kvwin {

namespace {

// As many links as the kernel follows in one path.
constexpr int kMaxLinks = 40;

bool TrustedOwner(uid_t owner) {
    return owner == 0 || owner == FileSystemUser();
}

void PushFront(std::deque<std::string>& parts, const std::string& path) {
    std::deque<std::string> added;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t slash = path.find('/', start);
        const size_t end = slash == std::string::npos ? path.size() : slash;
        if (end > start)
            added.push_back(path.substr(start, end - start));
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    parts.insert(parts.begin(), added.begin(), added.end());
}

int OpenRootOf(const std::string& path) {
    return ::open(!path.empty() && path[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
}

// When `name` in `at` is a link another user could not have planted, puts its target in
// front of `parts` (and restarts `at` at "/" for an absolute one) and returns true. False
// with errno ELOOP for any other link, and with errno kept when `name` is no link. With
// `seen`, what `name` is (not followed) is kept there.
bool ExpandTrustedLink(UniqueFd& at, const std::string& name, std::deque<std::string>& parts,
                       int& links, int error, LeafStatus* seen = nullptr) {
    struct stat st {};
    const bool exists = ::fstatat(at.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (seen) {
        seen->exists = exists;
        seen->status = st;
    }
    if (!exists || !S_ISLNK(st.st_mode)) {
        errno = error;
        return false;
    }
    if (!TrustedOwner(st.st_uid) || ++links > kMaxLinks) {
        errno = ELOOP;
        return false;
    }
    char target[PATH_MAX];
    const ssize_t n = ::readlinkat(at.get(), name.c_str(), target, sizeof target - 1);
    if (n <= 0) {
        errno = n == 0 ? ENOENT : errno;
        return false;
    }
    const std::string text(target, static_cast<size_t>(n));
    if (text[0] == '/') {
        at.reset(OpenRootOf(text));
        if (!at.valid())
            return false;
    }
    PushFront(parts, text);
    return true;
}

// The folder the first `count` of `parts` name from `path`'s root, in one system call when
// none of them is a link at all (openat2 with RESOLVE_NO_SYMLINKS): the folder the walk
// below would reach, one component at a time, through the same folders. -1 when the kernel
// has no openat2, a component is a link, or anything else fails: the walk then decides,
// and gives the error.
int OpenFolderWithoutLinks(const std::string& path, const std::deque<std::string>& parts,
                           size_t count) {
#ifdef SYS_openat2
    std::string prefix = !path.empty() && path[0] == '/' ? "/" : "";
    for (size_t i = 0; i < count; ++i) {
        if (i)
            prefix += '/';
        prefix += parts[i];
    }
    open_how how{};
    how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_NO_SYMLINKS;
    return static_cast<int>(::syscall(SYS_openat2, AT_FDCWD, prefix.c_str(), &how, sizeof how));
#else
    (void)path;
    (void)parts;
    (void)count;
    return -1;
#endif
}

// Walks `parts` from the folder `at`, as Walk does.
UniqueFd WalkFrom(UniqueFd at, std::deque<std::string> parts, std::string* leaf, LeafStatus* seen) {
    int links = 0;
    while (!parts.empty()) {
        const std::string name = std::move(parts.front());
        parts.pop_front();
        if (name == ".")
            continue;
        if (leaf && parts.empty()) {
            // Any other link stays the leaf: opening it with O_NOFOLLOW refuses it, and
            // removing or renaming it touches only the link.
            if (ExpandTrustedLink(at, name, parts, links, 0, seen))
                continue;
            if (name == "..") {
                errno = EINVAL;
                return UniqueFd();
            }
            *leaf = name;
            return at;
        }
        const int fd =
            ::openat(at.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            at.reset(fd);
            continue;
        }
        const int error = errno;
        if ((error == ENOTDIR || error == ELOOP) &&
            ExpandTrustedLink(at, name, parts, links, error))
            continue;
        if (error != ENOTDIR && error != ELOOP)
            errno = error;
        return UniqueFd();
    }
    if (leaf) {
        errno = EINVAL;  // "/" or a path that ends in "." has no last component
        return UniqueFd();
    }
    return at;
}

// Walks `path`; with `leaf`, stops before the last component and names it there.
UniqueFd Walk(const std::string& path, std::string* leaf, LeafStatus* seen) {
    std::deque<std::string> parts;
    PushFront(parts, path);
    // The folders on the way, all at once when no link is among them; the last component
    // stays for the loop when it is the leaf.
    const size_t folders = leaf && !parts.empty() ? parts.size() - 1 : parts.size();
    if (folders > 0) {
        const int error = errno;
        UniqueFd direct(OpenFolderWithoutLinks(path, parts, folders));
        errno = error;
        if (direct.valid()) {
            for (size_t i = 0; i < folders; ++i)
                parts.pop_front();
            if (!leaf)
                return direct;
            return WalkFrom(std::move(direct), std::move(parts), leaf, seen);
        }
    }
    UniqueFd at(OpenRootOf(path));
    if (!at.valid())
        return at;
    return WalkFrom(std::move(at), std::move(parts), leaf, seen);
}

}  // namespace

void UniqueFd::reset(int fd) {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

std::string HandlePath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

bool ChangeModeThrough(int fd, mode_t mode) {
    return ::chmod(HandlePath(fd).c_str(), mode) == 0;
}

uid_t FileSystemUser() {
    // setfsuid() with an id no one has changes nothing and reports the current one.
    return static_cast<uid_t>(::setfsuid(static_cast<uid_t>(-1)));
}

UniqueFd OpenFolderSafely(const std::string& path) {
    try {
        return Walk(path, nullptr, nullptr);
    } catch (...) {
        errno = ENOMEM;
        return UniqueFd();
    }
}

UniqueFd OpenParentSafely(const std::string& path, std::string& leaf, LeafStatus* seen) {
    if (seen)
        *seen = LeafStatus{};
    try {
        return Walk(path, &leaf, seen);
    } catch (...) {
        errno = ENOMEM;
        return UniqueFd();
    }
}

UniqueFd OpenFileAt(int folder, const std::string& leaf, int flags, mode_t mode, bool* created) {
    if (created)
        *created = false;
    const int base = flags | O_NOFOLLOW | O_CLOEXEC;
    if (!(flags & O_CREAT) || (flags & O_EXCL)) {
        UniqueFd fd(::openat(folder, leaf.c_str(), base, mode));
        if (fd.valid() && created)
            *created = (flags & O_CREAT) != 0;
        return fd;
    }
    // Exclusive first, so that "created" is true only for a file this call made; the file
    // may come and go between the two attempts, so a few rounds.
    for (int round = 0; round < 8; ++round) {
        UniqueFd fd(::openat(folder, leaf.c_str(), base | O_EXCL, mode));
        if (fd.valid()) {
            if (created)
                *created = true;
            return fd;
        }
        if (errno != EEXIST)
            return fd;
        fd.reset(::openat(folder, leaf.c_str(), base & ~O_CREAT));
        if (fd.valid() || errno != ENOENT)
            return fd;
    }
    errno = EAGAIN;
    return UniqueFd();
}

UniqueFd MakeFolderAt(int folder, const std::string& leaf, mode_t mode, bool may_exist,
                      bool* created) {
    if (created)
        *created = false;
    if (::mkdirat(folder, leaf.c_str(), 0700) == 0) {
        UniqueFd fd(
            ::openat(folder, leaf.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd.valid())
            return fd;
        if (::fchmod(fd.get(), mode) != 0) {
            const int error = errno;
            ::unlinkat(folder, leaf.c_str(), AT_REMOVEDIR);
            errno = error;
            return UniqueFd();
        }
        if (created)
            *created = true;
        return fd;
    }
    if (errno != EEXIST || !may_exist)
        return UniqueFd();
    UniqueFd fd(::openat(folder, leaf.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid() && errno == ELOOP)
        errno = ENOTDIR;
    return fd;
}

bool IsFolderTrusted(int folder) {
    struct stat st {};
    if (StatDescriptor(folder, &st) != 0 || !S_ISDIR(st.st_mode) || !TrustedOwner(st.st_uid))
        return false;
    return !(st.st_mode & (S_IWGRP | S_IWOTH)) || (st.st_mode & S_ISVTX);
}

}  // namespace kvwin
