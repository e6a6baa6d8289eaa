// GetEnvironmentVariableW and friends over the shared environment block.
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "kvwin/environment_block.h"
#include "kvwin/last_error.h"
#include "kvwin/utf.h"
#include "win/environment.h"

namespace {

// Copies text and a NUL into a caller's buffer known to be large enough.
void CopyOut(const std::u16string& text, WCHAR* out) {
    std::memcpy(out, text.data(), text.size() * sizeof(WCHAR));
    out[text.size()] = u'\0';
}

// The expansion ExpandEnvironmentStringsW produces.
std::u16string Expand(std::u16string_view source) {
    std::u16string result;
    size_t i = 0;
    while (i < source.size()) {
        const WCHAR c = source[i];
        if (c != u'%') {
            result.push_back(c);
            ++i;
            continue;
        }
        const size_t close = source.find(u'%', i + 1);
        if (close == std::u16string_view::npos) {
            // A '%' without a partner: the rest stays as written.
            result.append(source.substr(i));
            break;
        }
        const std::u16string_view name = source.substr(i + 1, close - i - 1);
        std::optional<std::string> value;
        if (!name.empty())
            value = kvwin::LookupEnvironmentVariable(kvwin::ToUtf8(name));
        if (value) {
            result.append(kvwin::FromUtf8(*value));
            i = close + 1;
        } else {
            // Unknown (or empty) name: keep "%NAME" and let the closing '%' start the next
            // reference, so "%nope%%PATH%" still expands PATH.
            result.push_back(u'%');
            result.append(name);
            i = close;
        }
    }
    return result;
}

}  // namespace

extern "C" {

DWORD GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize) {
    try {
        if (!lpName || !*lpName) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        if (!lpBuffer)
            nSize = 0;
        const std::optional<std::string> value =
            kvwin::LookupEnvironmentVariable(kvwin::ToUtf8(lpName));
        if (!value) {
            SetLastError(ERROR_ENVVAR_NOT_FOUND);
            return 0;
        }
        const std::u16string wide = kvwin::FromUtf8(*value);
        if (wide.size() >= nSize)
            return static_cast<DWORD>(wide.size() + 1);
        CopyOut(wide, lpBuffer);
        if (wide.empty())
            SetLastError(ERROR_SUCCESS);
        return static_cast<DWORD>(wide.size());
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    } catch (...) {
        SetLastError(ERROR_GEN_FAILURE);
        return 0;
    }
}

BOOL SetEnvironmentVariableW(LPCWSTR lpName, LPCWSTR lpValue) {
    try {
        if (!lpName || !*lpName)
            return kvwin::FailWith(ERROR_INVALID_PARAMETER);
        const std::string name = kvwin::ToUtf8(lpName);
        if (name.find('=') != std::string::npos)
            return kvwin::FailWith(ERROR_INVALID_PARAMETER);
        std::optional<std::string> value;
        if (lpValue)
            value = kvwin::ToUtf8(lpValue);
        if (!kvwin::AssignEnvironmentVariable(name, value))
            return kvwin::FailWithErrno();
        return TRUE;
    } catch (const std::bad_alloc&) {
        return kvwin::FailWith(ERROR_NOT_ENOUGH_MEMORY);
    } catch (...) {
        return kvwin::FailWith(ERROR_GEN_FAILURE);
    }
}

DWORD ExpandEnvironmentStringsW(LPCWSTR lpSrc, LPWSTR lpDst, DWORD nSize) {
    try {
        if (!lpSrc) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        if (!lpDst)
            nSize = 0;
        const std::u16string expanded = Expand(kvwin::WideView(lpSrc));
        const DWORD needed = static_cast<DWORD>(expanded.size() + 1);
        if (needed > nSize)
            return needed;
        CopyOut(expanded, lpDst);
        return needed;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    } catch (...) {
        SetLastError(ERROR_GEN_FAILURE);
        return 0;
    }
}

LPWSTR GetEnvironmentStringsW(void) {
    try {
        std::u16string block;
        for (const auto& [name, value] : kvwin::EnvironmentSnapshot()) {
            block.append(kvwin::FromUtf8(name));
            block.push_back(u'=');
            block.append(kvwin::FromUtf8(value));
            block.push_back(u'\0');
        }
        if (block.empty())
            block.push_back(u'\0');
        block.push_back(u'\0');
        WCHAR* copy = new (std::nothrow) WCHAR[block.size()];
        if (!copy) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        std::memcpy(copy, block.data(), block.size() * sizeof(WCHAR));
        return copy;
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

BOOL FreeEnvironmentStringsW(LPWSTR penv) {
    if (!penv)
        return kvwin::FailWith(ERROR_INVALID_PARAMETER);
    delete[] penv;
    return TRUE;
}

}  // extern "C"
