#include "files/install_mode.h"

#include "win/environment.h"
#include "win/text.h"

bool IsInstallMode() {
    WCHAR value[20] = {};
    const DWORD length =
        GetEnvironmentVariableW(u"Zor_{407B8F95-9674-45e8-B441-969669DBEB56}", value, 20);
    if (length == 0 || length >= 20)
        return false;
    return wcscmp(value, u"OK") == 0 || wcscmp(value, u"Silent") == 0;
}
