#include "load/windows_version_check.h"

#include "errors/error_description.h"
#include "win/version_info.h"

namespace Kavrel {

WindowsVersionFacts ReadWindowsVersionForLoadCheck() {
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version)))
        return {};
    return WindowsVersionFacts{version.dwPlatformId, version.dwMajorVersion};
}

bool IsSupportedWindowsVersion(const WindowsVersionFacts& facts) {
    // Only NT 4.0 is refused among NT versions: 3.x is not looked for, as the library never
    // loaded there.
    return facts.platformId == kPlatformWin32Nt && facts.majorVersion != 4;
}

void CheckWindowsVersion(const WindowsVersionFacts& facts) {
    if (!IsSupportedWindowsVersion(facts)) {
        ThrowComError(E_FAIL, TEXT("Requires Windows 2000 or later"));
    }
}

}  // namespace Kavrel
