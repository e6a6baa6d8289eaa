// What the component's objects share: the module's count of live objects (for
// DllCanUnloadNow). Thread safe.
#pragma once

#include "kvwin/component_module.h"

namespace kvjs {

using kvwin::ModuleRef;

}  // namespace kvjs
