#include "log/log_file.h"

#include "files/file_operations.h"
#include "log/agent_log.h"
#include "win/errors.h"
#include "win/files.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "kvwin/file_security.h"
#include "kvwin/last_error.h"
#include "kvwin/state_root.h"
#endif

void LogFile::Place(const WString& folder, const WString& path) {
    Close();
    m_folder = folder;
    m_path = path;
#ifndef _WIN32
    m_folderFd.reset();
    m_nativePath.clear();
    m_nativeFolder.clear();
    m_leaf.clear();
    std::string native;
    if (path.empty() || !kvwin::ToNativePath(path, native))
        return;
    const size_t slash = native.rfind('/');
    if (slash == std::string::npos || slash + 1 == native.size())
        return;
    m_nativePath = native;
    m_nativeFolder = slash == 0 ? "/" : native.substr(0, slash);
    m_leaf = native.substr(slash + 1);
#endif
}

#ifdef _WIN32

bool LogFile::Open(SECURITY_ATTRIBUTES* fileSecurity, SECURITY_ATTRIBUTES* folderSecurity) {
    Close();
    if (m_path.empty())
        return false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        m_file = FileHandle(CreateFileW(m_path.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, fileSecurity,
                                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (m_file.valid())
            break;
        if (attempt > 0 || GetLastError() != ERROR_PATH_NOT_FOUND ||
            !CreateDirectoryPath(m_folder.c_str(), folderSecurity, LogSuppress))
            return false;
    }
    LARGE_INTEGER end{};
    if (!SetFilePointerEx(m_file.get(), LARGE_INTEGER{}, &end, FILE_END)) {
        Close();
        return false;
    }
    m_size = static_cast<uint64_t>(end.QuadPart);
    return true;
}

bool LogFile::Append(const std::string& bytes) {
    DWORD written = 0;
    if (WriteFile(m_file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                  nullptr) &&
        written == bytes.size())
        return true;
    LARGE_INTEGER start{};
    start.QuadPart = static_cast<LONGLONG>(m_size);
    if (SetFilePointerEx(m_file.get(), start, nullptr, FILE_BEGIN))
        SetEndOfFile(m_file.get());
    return false;
}

void LogFile::Close() {
    m_file.Close();
}

#else

bool LogFile::OpenInFolder(SECURITY_ATTRIBUTES* fileSecurity, int& error) {
    // Nearly always the file is there: one open. Else it is created, exclusively.
    m_fd = kvwin::OpenFileAt(m_folderFd.get(), m_leaf, O_WRONLY | O_APPEND, 0);
    bool created = false;
    // 0666 as CreateFileW without a descriptor: the umask narrows it, and the log's
    // descriptor, when there is one, sets the mode through the new handle before any record.
    if (!m_fd.valid() && errno == ENOENT)
        m_fd = kvwin::OpenFileAt(m_folderFd.get(), m_leaf, O_WRONLY | O_APPEND | O_CREAT, 0666,
                                 &created);
    if (!m_fd.valid()) {
        error = errno;
        return false;
    }
    if (created && !kvwin::ApplyCreationSecurity(m_fd.get(), m_nativePath, fileSecurity, false)) {
        m_fd.reset();
        ::unlinkat(m_folderFd.get(), m_leaf.c_str(), 0);
        error = EACCES;
        return false;
    }
    // A second name would let whoever made it read or change the records elsewhere; a file
    // of another account is one it planted, unless the account is of the group the folder
    // was given to (a writer who made the file after a rotation).
    // Only what the checks and the size need: a query for the file's times would make every
    // later append stamp the file with the fine clock and write its inode again.
    struct statx st {};
    constexpr unsigned kAsked =
        STATX_TYPE | STATX_MODE | STATX_NLINK | STATX_UID | STATX_GID | STATX_SIZE;
    if (::statx(m_fd.get(), "", AT_EMPTY_PATH, kAsked, &st) != 0 ||
        (st.stx_mask & kAsked) != kAsked || !S_ISREG(st.stx_mode) || st.stx_nlink != 1 ||
        !(st.stx_uid == 0 || st.stx_uid == kvwin::FileSystemUser() ||
          (m_writersGroup != 0 && st.stx_gid == m_writersGroup))) {
        m_fd.reset();
        error = EPERM;
        return false;
    }
    m_size = static_cast<uint64_t>(st.stx_size);
    return true;
}

bool LogFile::Open(SECURITY_ATTRIBUTES* fileSecurity, SECURITY_ATTRIBUTES* folderSecurity) {
    Close();
    if (m_leaf.empty())
        return kvwin::FailWith(ERROR_PATH_NOT_FOUND);
    bool madeFolder = false;
    // At most: a folder descriptor gone stale, the folder made, the file opened.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!m_folderFd.valid()) {
            m_folderFd = kvwin::OpenFolderSafely(m_nativeFolder);
            struct stat folder {};
            if (m_folderFd.valid()) {
                // Root's folder given to a group: its members' files are writers' files.
                m_writersGroup = ::fstat(m_folderFd.get(), &folder) == 0 && folder.st_uid == 0
                                     ? folder.st_gid
                                     : 0;
            } else {
                const int error = errno;
                if (error != ENOENT)
                    return kvwin::FailWithErrno(error);
                if (madeFolder ||
                    !CreateDirectoryPath(m_folder.c_str(), folderSecurity, LogSuppress))
                    return false;
                madeFolder = true;
                continue;
            }
        }
        int error = 0;
        if (OpenInFolder(fileSecurity, error))
            return true;
        // ENOENT with O_CREAT: the folder this descriptor stands for was removed.
        if (error != ENOENT)
            return kvwin::FailWithErrno(error);
        m_folderFd.reset();
    }
    return kvwin::FailWith(ERROR_PATH_NOT_FOUND);
}

bool LogFile::Append(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd.get(), bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // Whatever part went in is taken out again: the file stays a sequence of whole
        // records (the log mutex is held, so the end at Open is still this record's start).
        const int cut = ::ftruncate(m_fd.get(), static_cast<off_t>(m_size));
        (void)cut;
        return false;
    }
    return true;
}

void LogFile::Close() {
    m_fd.reset();
}

#endif
