// What every object of the component shares: the module's count of live objects (for
// DllCanUnloadNow) and the guard that keeps exceptions inside the module. Thread safe.
#pragma once

#include <string>
#include <utility>

#include "kvwin/component_module.h"
#include "win/com.h"

namespace kvxmldom {

using kvwin::ModuleRef;

using kvwin::GuardComCall;

// A new BSTR with the text; E_OUTOFMEMORY when it cannot be allocated.
HRESULT ReturnText(const std::u16string& text, BSTR* out);

}  // namespace kvxmldom
