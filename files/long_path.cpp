#include "files/long_path.h"

#include <new>

#include "kvwin/wide_string.h"
#include "win/shell.h"
#include "win/text.h"

namespace {

bool IsDriveLetterPath(const WCHAR* path) {
    return path[0] != 0 && path[1] == TEXT(':') && path[2] == TEXT('\\');
}

// Runs of backslashes become one. The "\\?\" put in front afterwards is the only doubled
// backslash in the result.
void CollapseBackslashRuns(WString& path) {
    size_t out = 0;
    for (size_t in = 0; in < path.size(); ++in) {
        if (path[in] == TEXT('\\') && out > 0 && path[out - 1] == TEXT('\\'))
            continue;
        path[out++] = path[in];
    }
    path.resize(out);
}

// Calls call with the form of path that reaches the system; a path passed on unchanged is
// not copied. Running out of memory for the copy is the call's failure.
template <class Result, class Call>
Result WithSystemPath(const WCHAR* path, Result failure, const Call& call) noexcept {
    if (!path || !IsDriveLetterPath(path))
        return call(path);
    try {
        const WString form = LongPathForm(path);
        return call(form.c_str());
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_OUTOFMEMORY);
        return failure;
    }
}

}  // namespace

WString LongPathForm(const WCHAR* path) {
    if (!path)
        return {};
    WString form = path;
    if (!IsDriveLetterPath(path))
        return form;
    if (form.find(TEXT(".\\")) != WString::npos) {
        WCHAR canonical[MAX_PATH] = {};
        if (PathCanonicalizeW(canonical, path))
            form = canonical;
    }
    if (form.find(TEXT("\\\\")) != WString::npos)
        CollapseBackslashRuns(form);
    form.insert(0, TEXT("\\\\?\\"));
    return form;
}

BOOL CreateDirectoryLong(const WCHAR* path, LPSECURITY_ATTRIBUTES securityAttributes) {
    return WithSystemPath(path, FALSE, [&](const WCHAR* systemPath) {
        return CreateDirectoryW(systemPath, securityAttributes);
    });
}

HANDLE CreateFileLong(const WCHAR* path, DWORD access, DWORD shareMode,
                      LPSECURITY_ATTRIBUTES securityAttributes, DWORD disposition,
                      DWORD flagsAndAttributes, HANDLE templateFile) {
    return WithSystemPath(path, INVALID_HANDLE_VALUE, [&](const WCHAR* systemPath) {
        return CreateFileW(systemPath, access, shareMode, securityAttributes, disposition,
                           flagsAndAttributes, templateFile);
    });
}

BOOL DeleteFileLong(const WCHAR* path) {
    return WithSystemPath(path, FALSE,
                          [](const WCHAR* systemPath) { return DeleteFileW(systemPath); });
}

DWORD GetFileAttributesLong(const WCHAR* path) {
    return WithSystemPath(path, INVALID_FILE_ATTRIBUTES,
                          [](const WCHAR* systemPath) { return GetFileAttributesW(systemPath); });
}

BOOL SetFileAttributesLong(const WCHAR* path, DWORD attributes) {
    return WithSystemPath(path, FALSE, [&](const WCHAR* systemPath) {
        return SetFileAttributesW(systemPath, attributes);
    });
}
