#include "files/install_mode.h"

#include "win/environment.h"
#include "win/text.h"

bool IsInstallMode() {
    WCHAR value[20] = {};
    const DWORD length =
        GetEnvironmentVariableW(TEXT("Zor_{407B8F95-9674-45e8-B441-969669DBEB56}"), value, 20);
    if (length == 0 || length >= 20)
        return false;
    return wcscmp(value, TEXT("OK")) == 0 || wcscmp(value, TEXT("Silent")) == 0;
}
