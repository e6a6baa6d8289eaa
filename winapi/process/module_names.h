// How a Windows-style module name meets Linux file names.
#pragma once

#include <string>
#include <string_view>

namespace kvwin {

// True when `file_name` (the last part of a loaded module's path) is what Windows code means
// by `wanted` (a module name without any folder): equal ignoring case, or, for "X.dll" or
// plain "X", one of "X.dll", "libX.so", "X.so", "libX.so.N...", "X.so.N..." ignoring case.
// For "X.exe", also the bare "X".
bool ModuleNameMatches(std::string_view wanted, std::string_view file_name);

}  // namespace kvwin
