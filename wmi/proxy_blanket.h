// The call security set on a freshly connected WMI namespace: Windows NT authentication at
// the default level, with the right to impersonate the caller, as WMI providers need it.
#pragma once

#include "win/wbemcli.h"

// CoSetProxyBlanket on services with those settings; its result. Any thread.
HRESULT SetQueryProxyBlanket(IWbemServices* services);
