// COM helpers of the test programs: the apartment a test runs in, class registrations.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "kvtest/registry_values.h"
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
    SetRegistryText(HKEY_CLASSES_ROOT, key.c_str(), nullptr, value);
}

}  // namespace kvtest
