// The one lock that guards the process environment.
//
// The C library's environment is not safe to change while another thread reads it. Every
// read and write the layer makes goes through this lock; GetEnvironmentVariableW and
// friends are built on GetEnvUtf8 and SetEnvUtf8.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "win/types.h"

namespace kvwin {

KVWIN_API std::mutex& EnvironmentLock();

// The value of a variable, or nullopt when it is not set. Names are used as given.
KVWIN_API std::optional<std::string> GetEnvUtf8(const std::string& name);

// Sets (value present) or removes (nullopt) a variable. Returns false on failure with
// errno set.
KVWIN_API bool SetEnvUtf8(const std::string& name, const std::optional<std::string>& value);

// Sets `name` (not empty, no '=') to `value`; the caller holds EnvironmentLock. Returns false
// with errno set (ENOMEM when out of memory; nothing is thrown). The entry is a string the layer
// keeps for the rest of the process, as the C library's setenv keeps the strings it makes: a
// pointer getenv gave out stays readable after the variable changes. An entry made before is used
// again for the same text. The entries kept take at most 64 MB: a new one past that fails with
// ENOMEM and leaves the variable as it was.
KVWIN_API bool PutEnvLocked(const std::string& name, const std::string& value);

}  // namespace kvwin
