// Calls that work on files and folders by name: delete, move, copy, folders, attributes.
#include <fcntl.h>
#include <stdio.h>
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

using namespace kvwin;

namespace {

// True when an open handle on the file refuses to share deletion (which a rename needs too).
bool DeletionRefused(int parent, const std::string& leaf) {
    const UniqueFd fd(
        ::openat(parent, leaf.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!fd.valid())
        return false;  // unreadable: no handle of ours can hold locks on it either
    return ShareDenied(fd.get(), kShareDelete);
}

// The folder holding `native`, reached without following another user's link; false with
// the Windows error for a path that cannot be reached.
bool ParentOf(const std::string& native, UniqueFd& parent, std::string& leaf) {
    parent = OpenParentSafely(native, leaf);
    if (parent.valid())
        return true;
    const int err = errno;
    return FailWith(err == ENOENT || err == ENOTDIR || err == EINVAL ? ERROR_PATH_NOT_FOUND
                                                                     : Win32ErrorFromErrno(err));
}

bool IsReadOnly(const struct stat& st) {
    return (st.st_mode & S_IWUSR) == 0;
}

// Copies a regular file's bytes to a new or truncated file, keeping the permission bits
// (set through the handle, so a link put in place of the name changes nothing).
BOOL CopyByHandles(LPCWSTR from, LPCWSTR to, bool fail_if_exists, mode_t mode) {
    HANDLE in =
        CreateFileW(from, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE)
        return FALSE;
    HANDLE out = CreateFileW(to, GENERIC_WRITE, 0, nullptr,
                             fail_if_exists ? CREATE_NEW : CREATE_ALWAYS, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        CloseHandle(in);
        return FailWith(err);
    }
    char buffer[64 * 1024];
    BOOL ok = TRUE;
    for (;;) {
        DWORD got = 0, put = 0;
        if (!ReadFile(in, buffer, sizeof buffer, &got, nullptr)) {
            ok = FALSE;
            break;
        }
        if (got == 0)
            break;
        if (!WriteFile(out, buffer, got, &put, nullptr)) {
            ok = FALSE;
            break;
        }
    }
    const DWORD err = GetLastError();
    if (ok) {
        if (auto file = LookupHandleAs<FileObject>(out, HandleKind::File))
            ::fchmod(file->fd(), mode);
    }
    CloseHandle(out);
    CloseHandle(in);
    if (!ok)
        return FailWith(err);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

}  // namespace

extern "C" {

BOOL DeleteFileW(LPCWSTR lpFileName) {
    std::string native;
    if (!NativeFileName(lpFileName, native))
        return FALSE;
    UniqueFd parent;
    std::string leaf;
    if (!ParentOf(native, parent, leaf))
        return FALSE;
    struct stat st {};
    if (::fstatat(parent.get(), leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return FailWith(MissingFileError(native));
    if (S_ISDIR(st.st_mode))
        return FailWith(ERROR_ACCESS_DENIED);
    if (!S_ISLNK(st.st_mode) && IsReadOnly(st))
        return FailWith(ERROR_ACCESS_DENIED);
    if (S_ISREG(st.st_mode) && DeletionRefused(parent.get(), leaf))
        return FailWith(ERROR_SHARING_VIOLATION);
    if (::unlinkat(parent.get(), leaf.c_str(), 0) != 0)
        return FailWithErrno();
    return TRUE;
}

BOOL MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags) {
    std::string from, to;
    if (!NativeFileName(lpExistingFileName, from) || !NativeFileName(lpNewFileName, to)) {
        return FALSE;
    }
    UniqueFd from_parent, to_parent;
    std::string from_leaf, to_leaf;
    if (!ParentOf(from, from_parent, from_leaf) || !ParentOf(to, to_parent, to_leaf))
        return FALSE;
    struct stat source {};
    if (::fstatat(from_parent.get(), from_leaf.c_str(), &source, AT_SYMLINK_NOFOLLOW) != 0)
        return FailWith(MissingFileError(from));
    if (S_ISREG(source.st_mode) && DeletionRefused(from_parent.get(), from_leaf)) {
        return FailWith(ERROR_SHARING_VIOLATION);
    }
    struct stat target {};
    const bool target_exists =
        ::fstatat(to_parent.get(), to_leaf.c_str(), &target, AT_SYMLINK_NOFOLLOW) == 0;
    if (target_exists && !(source.st_dev == target.st_dev && source.st_ino == target.st_ino)) {
        if (!(dwFlags & MOVEFILE_REPLACE_EXISTING) || S_ISDIR(source.st_mode)) {
            return FailWith(ERROR_ALREADY_EXISTS);
        }
        if (S_ISDIR(target.st_mode) || IsReadOnly(target))
            return FailWith(ERROR_ACCESS_DENIED);
        if (S_ISREG(target.st_mode) && DeletionRefused(to_parent.get(), to_leaf)) {
            return FailWith(ERROR_SHARING_VIOLATION);
        }
    }
    const unsigned rename_flags = (dwFlags & MOVEFILE_REPLACE_EXISTING) ? 0 : RENAME_NOREPLACE;
    if (::renameat2(from_parent.get(), from_leaf.c_str(), to_parent.get(), to_leaf.c_str(),
                    rename_flags) == 0) {
        return TRUE;
    }
    const int err = errno;
    if (err == EEXIST)
        return FailWith(ERROR_ALREADY_EXISTS);
    if (err == ENOENT)
        return FailWith(MissingFileError(to));
    if (err != EXDEV)
        return FailWithErrno(err);
    if (!(dwFlags & MOVEFILE_COPY_ALLOWED) || S_ISDIR(source.st_mode)) {
        return FailWith(ERROR_NOT_SAME_DEVICE);
    }
    if (!CopyByHandles(lpExistingFileName, lpNewFileName, !(dwFlags & MOVEFILE_REPLACE_EXISTING),
                       source.st_mode & 07777)) {
        return FALSE;
    }
    if (::unlinkat(from_parent.get(), from_leaf.c_str(), 0) != 0)
        return FailWithErrno();
    return TRUE;
}

BOOL MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName) {
    return MoveFileExW(lpExistingFileName, lpNewFileName, MOVEFILE_COPY_ALLOWED);
}

BOOL CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists) {
    std::string from, to;
    if (!NativeFileName(lpExistingFileName, from) || !NativeFileName(lpNewFileName, to)) {
        return FALSE;
    }
    struct stat source {};
    if (::stat(from.c_str(), &source) != 0)
        return FailWith(MissingFileError(from));
    if (S_ISDIR(source.st_mode))
        return FailWith(ERROR_ACCESS_DENIED);
    struct stat target {};
    if (::stat(to.c_str(), &target) == 0) {
        if (bFailIfExists)
            return FailWith(ERROR_FILE_EXISTS);
        if (IsReadOnly(target) || S_ISDIR(target.st_mode))
            return FailWith(ERROR_ACCESS_DENIED);
    }
    return CopyByHandles(lpExistingFileName, lpNewFileName, bFailIfExists, source.st_mode & 07777);
}

BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
    std::string native;
    if (!NativeFileName(lpPathName, native))
        return FALSE;
    if (!ValidateCreationSecurity(lpSecurityAttributes))
        return FALSE;
    // The new folder's owner and mode are set through a handle on what was just made, and
    // the way there follows no link another user could have planted.
    std::string leaf;
    const UniqueFd parent = OpenParentSafely(native, leaf);
    if (parent.valid() && ::mkdirat(parent.get(), leaf.c_str(), 0777) == 0) {
        const UniqueFd made(
            ::openat(parent.get(), leaf.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (made.valid() && ApplyCreationSecurity(made.get(), native, lpSecurityAttributes, true))
            return TRUE;
        const DWORD error = made.valid() ? GetLastError() : Win32ErrorFromErrno(errno);
        ::unlinkat(parent.get(), leaf.c_str(), AT_REMOVEDIR);
        return FailWith(error);
    }
    const int err = errno;
    if (err == EEXIST)
        return FailWith(ERROR_ALREADY_EXISTS);
    if (err == ENOENT || err == ENOTDIR || (err == EINVAL && !parent.valid()))
        return FailWith(ERROR_PATH_NOT_FOUND);
    return FailWithErrno(err);
}

BOOL RemoveDirectoryW(LPCWSTR lpPathName) {
    std::string native;
    if (!NativeFileName(lpPathName, native))
        return FALSE;
    if (::rmdir(native.c_str()) == 0)
        return TRUE;
    const int err = errno;
    if (err == ENOTDIR)
        return FailWith(ERROR_DIRECTORY);
    if (err == ENOENT)
        return FailWith(MissingFileError(native));
    if (err == ENOTEMPTY || err == EEXIST)
        return FailWith(ERROR_DIR_NOT_EMPTY);
    return FailWithErrno(err);
}

DWORD GetFileAttributesW(LPCWSTR lpFileName) {
    std::string native;
    if (!NativeFileName(lpFileName, native))
        return INVALID_FILE_ATTRIBUTES;
    struct stat st {};
    if (::stat(native.c_str(), &st) != 0) {
        SetLastError(errno == ENOENT || errno == ENOTDIR ? MissingFileError(native)
                                                         : Win32ErrorFromErrno(errno));
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD attributes = 0;
    if (S_ISDIR(st.st_mode))
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    if (IsReadOnly(st))
        attributes |= FILE_ATTRIBUTE_READONLY;
    const std::string name = LastComponent(native);
    if (name.size() > 1 && name[0] == '.' && name != "..")
        attributes |= FILE_ATTRIBUTE_HIDDEN;
    return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

BOOL SetFileAttributesW(LPCWSTR lpFileName, DWORD dwFileAttributes) {
    std::string native;
    if (!NativeFileName(lpFileName, native))
        return FALSE;
    // Changed through a handle on the object itself, never through a planted link.
    UniqueFd parent;
    std::string leaf;
    if (!ParentOf(native, parent, leaf))
        return FALSE;
    const UniqueFd object(::openat(parent.get(), leaf.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (!object.valid() || ::fstat(object.get(), &st) != 0)
        return FailWith(MissingFileError(native));
    if (S_ISLNK(st.st_mode))
        return FailWith(ERROR_CANT_RESOLVE_FILENAME);
    mode_t mode = st.st_mode & 07777;
    if (dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    } else {
        mode |= S_IWUSR;
    }
    if (mode != (st.st_mode & 07777) && !ChangeModeThrough(object.get(), mode))
        return FailWithErrno();
    return TRUE;
}

}  // extern "C"
