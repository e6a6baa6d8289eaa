#include "files/registry_text.h"

#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "kvwin/format.h"
#include "kvwin/registry_key.h"
#include "kvwin/wide_string.h"
#include "win/environment.h"
#include "win/errors.h"
#include "win/handles.h"

namespace {

using kvwin::RegistryKey;

// Most values fit at the first read.
constexpr DWORD kFirstBufferBytes = 512;

WString TextUpToTerminator(const std::vector<BYTE>& data) {
    WString text;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        const WCHAR c = static_cast<WCHAR>(data[i] | (data[i + 1] << 8));
        if (c == 0)
            break;
        text += c;
    }
    return text;
}

// %VARIABLES% replaced; false with the last error when expansion fails.
bool Expand(const WString& text, WString& expanded) {
    DWORD needed = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    for (int attempt = 0; attempt < 4 && needed != 0; ++attempt) {
        WString buffer(needed, TEXT('\0'));
        const DWORD stored = ExpandEnvironmentStringsW(text.c_str(), buffer.data(), needed);
        if (stored == 0)
            return false;
        if (stored <= needed) {
            buffer.resize(stored - 1);
            expanded = std::move(buffer);
            return true;
        }
        needed = stored;  // the environment grew in between
    }
    if (needed != 0)
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
}

}  // namespace

bool ReadRegistryText(HKEY root, const WCHAR* subKey, const WCHAR* valueName, REGSAM access,
                      WString& text) {
    try {
        RegistryKey key;
        LSTATUS status = RegOpenKeyExW(root, subKey, 0, access, key.out());
        if (status != ERROR_SUCCESS) {
            SetLastError(static_cast<DWORD>(status));
            return false;
        }
        DWORD type = REG_NONE;
        std::vector<BYTE> data(kFirstBufferBytes);
        status = kvwin::QueryRegistryValue(key.get(), valueName, type, data);
        if (status != ERROR_SUCCESS) {
            SetLastError(static_cast<DWORD>(status));
            return false;
        }
        switch (type) {
            case REG_SZ:
                text = TextUpToTerminator(data);
                return true;
            case REG_EXPAND_SZ:
                return Expand(TextUpToTerminator(data), text);
            case REG_DWORD:
            case REG_BINARY:
                if (data.size() == sizeof(int32_t)) {
                    int32_t value = 0;
                    std::memcpy(&value, data.data(), sizeof value);
                    text = kvwin::Format(TEXT("%d"), value);
                    return true;
                }
                break;
            default:
                break;
        }
        SetLastError(ERROR_INVALID_DATA);
        return false;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_OUTOFMEMORY);
        return false;
    }
}
