// Case-insensitive views of the process environment, for the environment functions.
//
// Every function takes the layer's environment lock for the whole of its work, so each
// sees (or makes) one consistent state of the environment.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "win/types.h"

namespace kvwin {

// Every "NAME=value" entry, in environment-block order.
std::vector<std::pair<std::string, std::string>> EnvironmentSnapshot();

// The value of a variable with Windows name rules: the exact spelling first, otherwise the
// first entry whose name matches ignoring ASCII case.
std::optional<std::string> LookupEnvironmentVariable(std::string_view name);

// Sets the exact spelling and every other spelling present (value), or removes all
// spellings (nullopt). Returns false with errno set on failure.
bool AssignEnvironmentVariable(const std::string& name, const std::optional<std::string>& value);

// True when two variable names are the same for Windows (ASCII case ignored).
bool SameVariableName(std::string_view a, std::string_view b);

}  // namespace kvwin
