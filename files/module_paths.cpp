#include "files/module_paths.h"

#include <new>

#include "files/path_text.h"
#include "kvwin/wide_string.h"
#include "win/errors.h"
#include "win/handles.h"

namespace {

// Paths longer than this are not asked for: Windows' own limit for a long path.
constexpr DWORD kLongestModulePath = 32768;

}  // namespace

WString GetModuleFilePath(HMODULE module) {
    try {
        WString path;
        for (DWORD size = MAX_PATH; size <= kLongestModulePath; size *= 2) {
            path.assign(size, TEXT('\0'));
            const DWORD length = GetModuleFileNameW(module, path.data(), size);
            if (length == 0)
                return {};
            if (length < size) {
                path.resize(length);
                return path;
            }
            // Cut to fit: try a larger buffer.
        }
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_OUTOFMEMORY);
    }
    return {};
}

WString GetModuleFolder(HMODULE module) {
    try {
        return GetParentFolder(GetModuleFilePath(module));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_OUTOFMEMORY);
        return {};
    }
}

WString GetProcessModuleName(HANDLE process, HMODULE module, bool fullPath) {
    try {
        WCHAR buffer[MAX_PATH] = {};
        const DWORD length =
            GetModuleFileNameExW(process ? process : GetCurrentProcess(), module, buffer, MAX_PATH);
        if (length == 0)
            return {};
        WString path(buffer, length);
        if (fullPath)
            return path;
        WString name = GetFileNamePart(path);
        RemoveTrailingSeparator(name);
        return name;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_OUTOFMEMORY);
        return {};
    }
}
