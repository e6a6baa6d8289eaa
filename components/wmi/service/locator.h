// The locator (CLSID_WbemLocator): ConnectServer opens a namespace of this machine and
// answers an IWbemServices for it (service/services.h). Thread safe: it has no state.
#pragma once

#include "win/wbemcli.h"

namespace kvwmi {

// Makes a locator and answers the interface asked for (the built-in registration's and
// the class factory's creation function).
HRESULT CreateLocator(IUnknown* outer, REFIID riid, void** ppv);

}  // namespace kvwmi
