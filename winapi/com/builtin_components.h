// The classes of the components the project builds, registered as built-ins so that a fresh
// state root activates them without registry entries (a registry entry still wins).
#pragma once

#include <string>
#include <vector>

#include "kvwin/com_runtime.h"

namespace kvwin::com_detail {

// The classes the registration files in `folder` declare (see kvwin::FormatClassFile), each
// served by the module the file is named after; the files in name order. Missing or
// unreadable files give nothing; a malformed line is skipped.
std::vector<BuiltinClass> ReadClassFiles(const std::string& folder);

// The built-ins of the components installed beside the layer.
std::vector<BuiltinClass> ComponentClasses();

}  // namespace kvwin::com_detail
