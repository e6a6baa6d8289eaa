// The shell's well-known folders, as Windows paths on the C: drive.
#include <string>

#include "kvwin/last_error.h"
#include "kvwin/utf.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/shell.h"
#include "win/sysinfo.h"

namespace {

std::u16string UserProfileFolder() {
    WCHAR name[257] = {};
    DWORD size = 257;
    std::u16string user = GetUserNameW(name, &size) ? std::u16string(name) : u"Default";
    return u"C:\\Users\\" + user;
}

// The folder a CSIDL names; empty for one the layer does not know.
std::u16string KnownFolder(int csidl) {
    switch (csidl) {
        case CSIDL_COMMON_APPDATA:
            return u"C:\\ProgramData";
        case CSIDL_COMMON_DOCUMENTS:
            return u"C:\\Users\\Public\\Documents";
        case CSIDL_PROGRAM_FILES:
            return u"C:\\Program Files";
        case CSIDL_PROGRAM_FILESX86:
            return u"C:\\Program Files (x86)";
        case CSIDL_PROGRAM_FILES_COMMON:
            return u"C:\\Program Files\\Common Files";
        case CSIDL_WINDOWS:
            return u"C:\\Windows";
        case CSIDL_SYSTEM:
            return u"C:\\Windows\\System32";
        case CSIDL_APPDATA:
            return UserProfileFolder() + u"\\AppData\\Roaming";
        case CSIDL_LOCAL_APPDATA:
            return UserProfileFolder() + u"\\AppData\\Local";
        default:
            return {};
    }
}

// Creates the folder and its missing parents; the last error tells why it failed.
bool CreateFolderTree(const std::u16string& folder) {
    for (size_t at = folder.find(u'\\', 3);; at = folder.find(u'\\', at + 1)) {
        const std::u16string part = folder.substr(0, at);
        if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
        if (at == std::u16string::npos)
            return true;
    }
}

bool IsSeparator(WCHAR c) {
    return c == u'\\' || c == u'/';
}

}  // namespace

extern "C" {

HRESULT SHGetFolderPathW(HWND, int csidl, HANDLE, DWORD, LPWSTR pszPath) {
    if (!pszPath)
        return E_INVALIDARG;
    pszPath[0] = u'\0';
    const std::u16string folder = KnownFolder(csidl & ~CSIDL_FLAG_MASK);
    if (folder.empty())
        return E_INVALIDARG;
    if ((csidl & CSIDL_FLAG_CREATE) && !CreateFolderTree(folder))
        return HRESULT_FROM_WIN32(GetLastError());
    folder.copy(pszPath, folder.size());
    pszPath[folder.size()] = u'\0';
    return S_OK;
}

BOOL PathCanonicalizeW(LPWSTR lpszDst, LPCWSTR lpszSrc) {
    if (!lpszDst || !lpszSrc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::u16string source(lpszSrc);
    // The part that ".." never climbs above: "C:\", "\\server\share\" or a leading "\".
    size_t rootEnd = 0;
    if (source.size() >= 2 && source[1] == u':')
        rootEnd = source.size() >= 3 && IsSeparator(source[2]) ? 3 : 2;
    else if (source.size() >= 2 && IsSeparator(source[0]) && IsSeparator(source[1])) {
        rootEnd = 2;
        for (int separators = 0; rootEnd < source.size() && separators < 2; ++rootEnd)
            separators += IsSeparator(source[rootEnd]) ? 1 : 0;
    } else if (!source.empty() && IsSeparator(source[0]))
        rootEnd = 1;

    std::u16string result = source.substr(0, rootEnd);
    const size_t floor = result.size();
    size_t at = rootEnd;
    while (at <= source.size()) {
        size_t end = at;
        while (end < source.size() && !IsSeparator(source[end]))
            ++end;
        const std::u16string_view segment(source.data() + at, end - at);
        const bool last = end >= source.size();
        if (segment == u".") {
            // dropped, with its separator
        } else if (segment == u"..") {
            // Back to the previous separator, never below the root.
            if (result.size() > floor && IsSeparator(result.back()))
                result.pop_back();
            while (result.size() > floor && !IsSeparator(result.back()))
                result.pop_back();
        } else {
            result.append(segment);
            if (!last)
                result.push_back(source[end]);
        }
        at = end + 1;
    }
    // "C:\a\.." leaves "C:\", "a\." leaves "a\": Windows keeps the separator only at a root.
    if (result.size() > floor && IsSeparator(result.back()) &&
        !(source.size() && IsSeparator(source.back())))
        result.pop_back();
    if (result.empty() && floor == 0)
        result = u"\\";
    if (result.size() >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        lpszDst[0] = u'\0';
        return FALSE;
    }
    result.copy(lpszDst, result.size());
    lpszDst[result.size()] = u'\0';
    return TRUE;
}

}  // extern "C"
