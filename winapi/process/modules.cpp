// GetModuleHandleW, GetModuleFileNameW and friends over the loader's list of objects.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <cstring>
#include <optional>

#include "kvwin/ascii_case.h"
#include "kvwin/last_error.h"
#include "kvwin/state_root.h"
#include "kvwin/utf.h"
#include "loaded_modules.h"
#include "module_names.h"
#include "win/modules.h"

namespace {

std::optional<kvwin::LoadedModule> FindByHandle(HMODULE module) {
    const auto wanted = reinterpret_cast<uintptr_t>(module);
    for (kvwin::LoadedModule& m : kvwin::LoadedModules()) {
        if (module == nullptr ? m.executable : m.base == wanted)
            return m;
    }
    return std::nullopt;
}

std::optional<kvwin::LoadedModule> FindByAddress(uintptr_t address) {
    for (kvwin::LoadedModule& m : kvwin::LoadedModules()) {
        if (address >= m.base && address < m.end)
            return m;
    }
    return std::nullopt;
}

std::string Canonical(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved))
        return resolved;
    return path;
}

std::optional<kvwin::LoadedModule> FindByName(std::u16string_view name) {
    const bool is_path = name.find_first_of(u"/\\") != std::u16string_view::npos;
    const std::vector<kvwin::LoadedModule> modules = kvwin::LoadedModules();
    if (is_path) {
        std::string native;
        if (!kvwin::ToNativePath(name, native))
            return std::nullopt;
        const std::string wanted = Canonical(native);
        for (const kvwin::LoadedModule& m : modules) {
            if (kvwin::EqualsAsciiNoCase(Canonical(m.path), wanted))
                return m;
        }
        return std::nullopt;
    }
    const std::string wanted = kvwin::ToUtf8(name);
    for (const kvwin::LoadedModule& m : modules) {
        const size_t slash = m.path.rfind('/');
        const std::string_view file = slash == std::string::npos
                                          ? std::string_view(m.path)
                                          : std::string_view(m.path).substr(slash + 1);
        if (kvwin::ModuleNameMatches(wanted, file))
            return m;
    }
    return std::nullopt;
}

HMODULE AsHandle(const kvwin::LoadedModule& m) {
    return reinterpret_cast<HMODULE>(m.base);
}

// Copies a path with GetModuleFileNameW's truncation rule; returns the count it returns.
DWORD CopyTruncated(const std::u16string& path, LPWSTR out, DWORD size, bool ex_rule) {
    if (path.size() < size) {
        std::memcpy(out, path.data(), path.size() * sizeof(WCHAR));
        out[path.size()] = u'\0';
        return static_cast<DWORD>(path.size());
    }
    if (size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(out, path.data(), (size - 1) * sizeof(WCHAR));
    out[size - 1] = u'\0';
    if (ex_rule)
        return size - 1;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

DWORD ModuleFileName(HMODULE hModule, LPWSTR lpFilename, DWORD nSize, bool ex_rule) {
    try {
        if (!lpFilename && nSize) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        const std::optional<kvwin::LoadedModule> module = FindByHandle(hModule);
        if (!module || module->path.empty()) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
        return CopyTruncated(kvwin::FromUtf8(module->path), lpFilename, nSize, ex_rule);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

bool IsThisProcess(HANDLE process) {
    if (process == GetCurrentProcess())
        return true;
    // Only this process's modules are known; a handle to a process, even one naming this
    // process, is not looked into.
    return false;
}

}  // namespace

extern "C" {

DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    return ModuleFileName(hModule, lpFilename, nSize, false);
}

DWORD GetModuleFileNameExW(HANDLE hProcess, HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    if (!IsThisProcess(hProcess)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return ModuleFileName(hModule, lpFilename, nSize, true);
}

HMODULE GetModuleHandleW(LPCWSTR lpModuleName) {
    try {
        const std::optional<kvwin::LoadedModule> module =
            lpModuleName ? FindByName(kvwin::WideView(lpModuleName)) : FindByHandle(nullptr);
        if (!module) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        return AsHandle(*module);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

BOOL GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule) {
    constexpr DWORD kKnown = GET_MODULE_HANDLE_EX_FLAG_PIN |
                             GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT |
                             GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS;
    if (phModule)
        *phModule = nullptr;
    if (!phModule || (dwFlags & ~kKnown) ||
        ((dwFlags & GET_MODULE_HANDLE_EX_FLAG_PIN) &&
         (dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT))) {
        return kvwin::FailWith(ERROR_INVALID_PARAMETER);
    }
    try {
        std::optional<kvwin::LoadedModule> module;
        if (dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) {
            if (!lpModuleName)
                return kvwin::FailWith(ERROR_INVALID_PARAMETER);
            module = FindByAddress(reinterpret_cast<uintptr_t>(lpModuleName));
        } else {
            module =
                lpModuleName ? FindByName(kvwin::WideView(lpModuleName)) : FindByHandle(nullptr);
        }
        if (!module)
            return kvwin::FailWith(ERROR_MOD_NOT_FOUND);
        if (!(dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT) && !module->executable) {
            // One more reference held by the loader for the caller, who gives it back with
            // FreeLibrary; PIN keeps the object for the life of the process.
            int mode = RTLD_LAZY | RTLD_NOLOAD;
            if (dwFlags & GET_MODULE_HANDLE_EX_FLAG_PIN)
                mode |= RTLD_NODELETE;
            if (!::dlopen(module->path.c_str(), mode))
                return kvwin::FailWith(ERROR_MOD_NOT_FOUND);
        }
        *phModule = AsHandle(*module);
        return TRUE;
    } catch (...) {
        return kvwin::FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

}  // extern "C"
