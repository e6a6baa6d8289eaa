// An owned registry key handle: closed when the holder goes, with the value reads its
// callers share. Not shared between threads (the handle itself may be used from any
// thread).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "kvwin/wide_string.h"
#include "win/registry.h"

namespace kvwin {

class RegistryKey {
  public:
    RegistryKey() = default;
    // Opens root\subKey with the access asked; the holder stays empty when that fails.
    RegistryKey(HKEY root, const WCHAR* subKey, REGSAM access = KEY_READ) {
        if (RegOpenKeyExW(root, subKey, 0, access, &key_) != ERROR_SUCCESS)
            key_ = nullptr;
    }
    ~RegistryKey() { Close(); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Where RegOpenKeyExW / RegCreateKeyExW write the handle; the holder must be empty.
    HKEY* out() { return &key_; }
    HKEY get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }
    void Close() {
        if (key_) {
            RegCloseKey(key_);
            key_ = nullptr;
        }
    }

    // A 4-byte REG_DWORD value; nothing for a value of another type or size, or none.
    std::optional<uint32_t> Dword(const WCHAR* name) const {
        if (!key_)
            return std::nullopt;
        DWORD type = 0;
        DWORD value = 0;
        DWORD size = sizeof value;
        if (RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
                ERROR_SUCCESS ||
            type != REG_DWORD || size != sizeof value)
            return std::nullopt;
        return value;
    }

    // A REG_SZ or REG_EXPAND_SZ value of at most maxBytes whose size is even, at least 2 and
    // whose last character is the terminator (the text may be empty). Not expanded.
    std::optional<WString> Text(const WCHAR* name, DWORD maxBytes) const {
        if (!key_)
            return std::nullopt;
        std::vector<WCHAR> buffer(maxBytes / sizeof(WCHAR) + 1);
        DWORD type = 0;
        DWORD size = maxBytes;
        if (RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                             &size) != ERROR_SUCCESS)
            return std::nullopt;
        if ((type != REG_SZ && type != REG_EXPAND_SZ) || size < 2 || size % 2 != 0 ||
            buffer[size / 2 - 1] != WCHAR(0))
            return std::nullopt;
        return WString(buffer.data(), size / 2 - 1);
    }

  private:
    HKEY key_ = nullptr;
};

// A value's type and bytes, however large: the buffer grows to the size the registry reports
// (starting from what `bytes` holds) and ends at the value's size. A value that keeps growing
// between the reads gives ERROR_MORE_DATA after a few tries.
inline LSTATUS QueryRegistryValue(HKEY key, const WCHAR* name, DWORD& type,
                                  std::vector<BYTE>& bytes) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = DWORD(bytes.size());
        const LSTATUS status = RegQueryValueExW(key, name, nullptr, &type,
                                                bytes.empty() ? nullptr : bytes.data(), &size);
        if (status == ERROR_MORE_DATA || (status == ERROR_SUCCESS && bytes.size() < size)) {
            bytes.resize(size);
            continue;
        }
        if (status == ERROR_SUCCESS)
            bytes.resize(size);
        return status;
    }
    return ERROR_MORE_DATA;
}

}  // namespace kvwin
