// The load step that refuses Windows versions older than Windows 2000.
#pragma once

#include <string>

#include "win/errors.h"
#include "win/types.h"

namespace Kavrel {

// The two facts the check looks at, as GetVersionExW reports them in OSVERSIONINFOEXW.
struct WindowsVersionFacts {
    DWORD platformId = 0;    // dwPlatformId
    DWORD majorVersion = 0;  // dwMajorVersion
};

inline constexpr DWORD kPlatformWin32Nt = 2;  // VER_PLATFORM_WIN32_NT

// The failure the check raises: E_FAIL with the description "Requires Windows 2000 or
// later". Nothing in the library catches it, so a failing check ends the load.
// TODO: becomes the COM error type (_com_error) once the COM runtime provides it.
class VersionCheckError {
  public:
    VersionCheckError(HRESULT hr, std::u16string description)
        : hr_(hr), description_(std::move(description)) {}
    HRESULT Error() const { return hr_; }
    const std::u16string& Description() const { return description_; }

  private:
    HRESULT hr_;
    std::u16string description_;
};

// TODO: until GetVersionExW exists in the platform layer, this reports the layer's default
// identity (an NT-platform Windows 10). The change that adds GetVersionExW replaces the
// body with the call.
WindowsVersionFacts ReadWindowsVersionForLoadCheck();

// True unless the platform is not NT or the major version is 4 (NT 4.0).
bool IsSupportedWindowsVersion(const WindowsVersionFacts& facts);

// Throws VersionCheckError when the version is not supported.
void CheckWindowsVersion(const WindowsVersionFacts& facts);

}  // namespace Kavrel
