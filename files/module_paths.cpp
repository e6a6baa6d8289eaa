#include "files/module_paths.h"

#include <new>

#include "files/path_text.h"
#include "win/errors.h"
#include "win/handles.h"

namespace {

// Paths longer than this are not asked for: Windows' own limit for a long path.
constexpr DWORD kLongestModulePath = 32768;

}  // namespace

std::u16string GetModuleFilePath(HMODULE module) {
    try {
        std::u16string path;
        for (DWORD size = MAX_PATH; size <= kLongestModulePath; size *= 2) {
            path.assign(size, u'\0');
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

std::u16string GetModuleFolder(HMODULE module) {
    try {
        return GetParentFolder(GetModuleFilePath(module));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_OUTOFMEMORY);
        return {};
    }
}

std::u16string GetProcessModuleName(HANDLE process, HMODULE module, bool fullPath) {
    try {
        WCHAR buffer[MAX_PATH] = {};
        const DWORD length =
            GetModuleFileNameExW(process ? process : GetCurrentProcess(), module, buffer, MAX_PATH);
        if (length == 0)
            return {};
        std::u16string path(buffer, length);
        if (fullPath)
            return path;
        std::u16string name = GetFileNamePart(path);
        RemoveTrailingSeparator(name);
        return name;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_OUTOFMEMORY);
        return {};
    }
}
