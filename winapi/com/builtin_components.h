// The classes of the components the project builds, registered as built-ins so that a fresh
// state root activates them without registry entries (a registry entry still wins).
#pragma once

#include <vector>

#include "kvwin/com_runtime.h"

namespace kvwin::com_detail {

std::vector<BuiltinClass> ComponentClasses();

}  // namespace kvwin::com_detail
