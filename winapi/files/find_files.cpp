// FindFirstFileW, FindNextFileW and FindClose over one folder.
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <mutex>
#include <vector>

#include "kvwin/file_object.h"
#include "kvwin/last_error.h"
#include "kvwin/utf.h"
#include "native_path.h"
#include "wildcard.h"
#include "win/files.h"

namespace kvwin {

namespace {

struct FoundEntry {
    WIN32_FIND_DATAW data;
};

// The matches are collected when the search starts, so the enumeration is stable while the
// folder changes. Thread safety: the cursor is guarded by the object's lock.
class FindObject : public KernelObject {
  public:
    explicit FindObject(std::vector<FoundEntry> entries) : entries_(std::move(entries)) {}
    HandleKind Kind() const override { return HandleKind::FindFile; }

    bool Next(WIN32_FIND_DATAW& out) {
        std::lock_guard guard(lock_);
        if (cursor_ >= entries_.size())
            return false;
        out = entries_[cursor_++].data;
        return true;
    }

  private:
    std::mutex lock_;
    std::vector<FoundEntry> entries_;
    size_t cursor_ = 0;
};

bool FillEntry(const std::string& folder, const std::string& name, FoundEntry& entry) {
    const std::u16string wide = FromUtf8(name);
    if (wide.size() >= MAX_PATH)
        return false;  // Windows could not name it either
    entry = {};
    WIN32_FIND_DATAW& data = entry.data;
    const std::string full = folder == "/" ? "/" + name : folder + "/" + name;
    struct stat st {};
    if (::stat(full.c_str(), &st) != 0 && ::lstat(full.c_str(), &st) != 0)
        return false;
    DWORD attributes = 0;
    if (S_ISDIR(st.st_mode))
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    if ((st.st_mode & S_IWUSR) == 0)
        attributes |= FILE_ATTRIBUTE_READONLY;
    if (name.size() > 1 && name[0] == '.' && name != "..")
        attributes |= FILE_ATTRIBUTE_HIDDEN;
    data.dwFileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    const unsigned long long size =
        S_ISDIR(st.st_mode) ? 0 : static_cast<unsigned long long>(st.st_size);
    data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(size);
    data.ftLastWriteTime = FileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    data.ftLastAccessTime = FileTimeFromUnix(st.st_atim.tv_sec, st.st_atim.tv_nsec);
    data.ftCreationTime = FileTimeFromUnix(st.st_ctim.tv_sec, st.st_ctim.tv_nsec);
    std::copy(wide.begin(), wide.end(), data.cFileName);
    return true;
}

}  // namespace

}  // namespace kvwin

using namespace kvwin;

extern "C" {

HANDLE FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
    if (!lpFindFileData) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string native;
    if (!NativeFileName(lpFileName, native))
        return INVALID_HANDLE_VALUE;
    const std::string folder = ParentFolder(native);
    const std::u16string pattern = FromUtf8(LastComponent(native));
    if (pattern.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }

    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        const int err = errno;
        SetLastError(err == ENOENT || err == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                     : Win32ErrorFromErrno(err));
        return INVALID_HANDLE_VALUE;
    }
    std::vector<FoundEntry> entries;
    while (dirent* item = ::readdir(dir)) {
        const std::string name = item->d_name;
        if (!MatchesWildcard(pattern, FromUtf8(name)))
            continue;
        FoundEntry entry;
        if (FillEntry(folder, name, entry))
            entries.push_back(entry);
    }
    ::closedir(dir);
    if (entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto search = std::make_shared<FindObject>(std::move(entries));
    search->Next(*lpFindFileData);
    HANDLE handle = InsertHandle(search);
    if (!handle)
        return INVALID_HANDLE_VALUE;
    SetLastError(ERROR_SUCCESS);
    return handle;
}

BOOL FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
    auto search = LookupHandleAs<FindObject>(hFindFile, HandleKind::FindFile);
    if (!search)
        return FALSE;
    if (!lpFindFileData)
        return FailWith(ERROR_INVALID_PARAMETER);
    if (!search->Next(*lpFindFileData))
        return FailWith(ERROR_NO_MORE_FILES);
    return TRUE;
}

BOOL FindClose(HANDLE hFindFile) {
    if (!LookupHandleAs<FindObject>(hFindFile, HandleKind::FindFile))
        return FALSE;
    return CloseHandle(hFindFile);
}

}  // extern "C"
