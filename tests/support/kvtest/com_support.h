// COM helpers of the test programs: the apartment a test runs in, class registrations.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "win/com.h"
#include "win/oleauto.h"
#include "win/registry.h"

namespace kvtest {

class ScopedApartment {
  public:
    explicit ScopedApartment(DWORD model = COINIT_MULTITHREADED) {
        EXPECT_GE(CoInitializeEx(nullptr, model), 0);  // S_OK, or S_FALSE when nested
    }
    ~ScopedApartment() { CoUninitialize(); }
    ScopedApartment(const ScopedApartment&) = delete;
    ScopedApartment& operator=(const ScopedApartment&) = delete;
};

// A BSTR argument that frees itself; keeps embedded NULs and lone surrogates as given.
class Bstr {
  public:
    explicit Bstr(std::u16string_view text)
        : bstr_(SysAllocStringLen(text.data(), UINT(text.size()))) {}
    ~Bstr() { SysFreeString(bstr_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    operator BSTR() const { return bstr_; }

  private:
    BSTR bstr_;
};

// The text of a returned BSTR, which is freed.
inline std::u16string Take(BSTR text) {
    std::u16string result = text ? std::u16string(text, SysStringLen(text)) : std::u16string();
    SysFreeString(text);
    return result;
}

// Writes the default value of HKEY_CLASSES_ROOT\<key>, as a class registration does.
inline void SetClassesRootDefault(const std::u16string& key, const std::u16string& value) {
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              &handle, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(
        RegSetValueExW(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       DWORD((value.size() + 1) * sizeof(WCHAR))),
        ERROR_SUCCESS);
    RegCloseKey(handle);
}

}  // namespace kvtest
