// An owned registry key handle: closed when the holder goes. Not shared between threads
// (the handle itself may be used from any thread).
#pragma once

#include "win/registry.h"

namespace kvwin {

class RegistryKey {
  public:
    RegistryKey() = default;
    ~RegistryKey() {
        if (key_)
            RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    // Where RegOpenKeyExW / RegCreateKeyExW write the handle; the holder must be empty.
    HKEY* out() { return &key_; }
    HKEY get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }

  private:
    HKEY key_ = nullptr;
};

}  // namespace kvwin
