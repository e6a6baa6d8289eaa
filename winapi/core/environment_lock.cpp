// The process environment behind one lock.
#include "kvwin/environment_lock.h"

#include <cerrno>
#include <cstdlib>

namespace kvwin {

std::mutex& EnvironmentLock() {
    static std::mutex* lock = new std::mutex;  // never destroyed: usable during exit
    return *lock;
}

std::optional<std::string> GetEnvUtf8(const std::string& name) {
    std::lock_guard guard(EnvironmentLock());
    const char* value = ::getenv(name.c_str());
    if (!value)
        return std::nullopt;
    return std::string(value);
}

bool SetEnvUtf8(const std::string& name, const std::optional<std::string>& value) {
    if (name.empty() || name.find('=') != std::string::npos) {
        errno = EINVAL;
        return false;
    }
    std::lock_guard guard(EnvironmentLock());
    const int rc = value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
    return rc == 0;
}

}  // namespace kvwin
