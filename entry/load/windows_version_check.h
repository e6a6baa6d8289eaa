// The load step that refuses Windows versions older than Windows 2000.
#pragma once

#include "win/types.h"

namespace Kavrel {

// The two facts the check looks at, as GetVersionExW reports them in OSVERSIONINFOEXW.
struct WindowsVersionFacts {
    DWORD platformId = 0;    // dwPlatformId
    DWORD majorVersion = 0;  // dwMajorVersion
};

inline constexpr DWORD kPlatformWin32Nt = 2;  // VER_PLATFORM_WIN32_NT

// The platform and major version GetVersionExW reports; both zero when it fails.
WindowsVersionFacts ReadWindowsVersionForLoadCheck();

// True unless the platform is not NT or the major version is 4 (NT 4.0).
bool IsSupportedWindowsVersion(const WindowsVersionFacts& facts);

// Raises a _com_error with E_FAIL and the description "Requires Windows 2000 or later"
// when the version is not supported. Nothing in the library catches it, so a failing check
// ends the load.
void CheckWindowsVersion(const WindowsVersionFacts& facts);

}  // namespace Kavrel
