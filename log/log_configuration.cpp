#include "log/log_configuration.h"

#include <algorithm>
#include <vector>

#include "kvwin/wide_string.h"
#include "win/errors.h"

RegistryKey::RegistryKey(HKEY root, const WCHAR* subKey) {
    if (RegOpenKeyExW(root, subKey, 0, KEY_READ, &m_key) != ERROR_SUCCESS)
        m_key = nullptr;
}

RegistryKey::~RegistryKey() {
    Close();
}

void RegistryKey::Close() {
    if (m_key) {
        RegCloseKey(m_key);
        m_key = nullptr;
    }
}

std::optional<uint32_t> RegistryKey::Dword(const WCHAR* name) const {
    if (!m_key)
        return std::nullopt;
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExW(m_key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return std::nullopt;
    return value;
}

std::optional<WString> RegistryKey::Text(const WCHAR* name, DWORD maxBytes) const {
    if (!m_key)
        return std::nullopt;
    std::vector<WCHAR> buffer(maxBytes / sizeof(WCHAR) + 1);
    DWORD type = 0;
    DWORD size = maxBytes;
    if (RegQueryValueExW(m_key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &size) != ERROR_SUCCESS)
        return std::nullopt;
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || size < 2 || size % 2 != 0 ||
        buffer[size / 2 - 1] != TEXT('\0'))
        return std::nullopt;
    return WString(buffer.data(), size / 2 - 1);
}

LogLimits ReadLogLimits(const RegistryKey& key) {
    LogLimits limits;
    limits.severityMask = key.Dword(TEXT("Severity")).value_or(kDefaultSeverityMask) & 0xFF;
    limits.maxSizeKb =
        std::max(key.Dword(TEXT("MaxSize")).value_or(kDefaultMaxSizeKb), kMinimumMaxSizeKb);
    limits.maxFiles =
        std::max(key.Dword(TEXT("MaxFiles")).value_or(kDefaultMaxFiles), kMinimumMaxFiles);
    return limits;
}

WString ReadLogFileHeader() {
    const RegistryKey key(HKEY_LOCAL_MACHINE, kLogHeaderKey);
    return key.Text(TEXT("LogFileHeader"), 4160).value_or(TEXT(""));
}
