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

}  // namespace kvwin
