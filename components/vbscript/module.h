// What the component's objects share: the module's count of live objects (for
// DllCanUnloadNow). Thread safe.
#pragma once

#include "kvwin/component_module.h"

namespace kvvbs {

using kvwin::ModuleRef;

}  // namespace kvvbs
