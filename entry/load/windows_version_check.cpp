#include "load/windows_version_check.h"

namespace Kavrel {

WindowsVersionFacts ReadWindowsVersionForLoadCheck() {
    return WindowsVersionFacts{kPlatformWin32Nt, 10};
}

bool IsSupportedWindowsVersion(const WindowsVersionFacts& facts) {
    // Only NT 4.0 is refused among NT versions: 3.x is not looked for, as the library never
    // loaded there.
    return facts.platformId == kPlatformWin32Nt && facts.majorVersion != 4;
}

void CheckWindowsVersion(const WindowsVersionFacts& facts) {
    if (!IsSupportedWindowsVersion(facts)) {
        throw VersionCheckError(E_FAIL, u"Requires Windows 2000 or later");
    }
}

}  // namespace Kavrel
