// Registry values a test sets up: written under root\path, the key created when missing. A
// failure fails the test.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "win/registry.h"

namespace kvtest {

// Writes the value `name` (nullptr: the key's default value) as `size` bytes of `data`.
inline void SetRegistryValue(HKEY root, const WCHAR* path, const WCHAR* name, DWORD type,
                             const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

// Text stored with its terminator, as REG_SZ unless another string type is given.
inline void SetRegistryText(HKEY root, const WCHAR* path, const WCHAR* name,
                            std::u16string_view text, DWORD type = REG_SZ) {
    const std::u16string terminated(text);
    SetRegistryValue(root, path, name, type, terminated.c_str(),
                     DWORD((terminated.size() + 1) * sizeof(WCHAR)));
}

inline void SetRegistryDword(HKEY root, const WCHAR* path, const WCHAR* name, DWORD value) {
    SetRegistryValue(root, path, name, REG_DWORD, &value, sizeof value);
}

}  // namespace kvtest
