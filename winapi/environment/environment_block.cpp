// The process environment walked and changed under the one environment lock.
#include "kvwin/environment_block.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "kvwin/ascii_case.h"
#include "kvwin/environment_lock.h"

extern char** environ;

namespace kvwin {

namespace {

// Names present in the environment that match `name` ignoring case. Caller holds the lock.
std::vector<std::string> SpellingsLocked(std::string_view name) {
    std::vector<std::string> found;
    for (char** entry = environ; entry && *entry; ++entry) {
        const char* eq = std::strchr(*entry, '=');
        if (!eq)
            continue;
        std::string_view entry_name(*entry, static_cast<size_t>(eq - *entry));
        if (SameVariableName(entry_name, name))
            found.emplace_back(entry_name);
    }
    return found;
}

}  // namespace

bool SameVariableName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i]))
            return false;
    }
    return true;
}

std::vector<std::pair<std::string, std::string>> EnvironmentSnapshot() {
    std::lock_guard guard(EnvironmentLock());
    std::vector<std::pair<std::string, std::string>> entries;
    for (char** entry = environ; entry && *entry; ++entry) {
        const char* eq = std::strchr(*entry, '=');
        if (!eq)
            continue;
        entries.emplace_back(std::string(*entry, static_cast<size_t>(eq - *entry)),
                             std::string(eq + 1));
    }
    return entries;
}

std::optional<std::string> LookupEnvironmentVariable(std::string_view name) {
    std::lock_guard guard(EnvironmentLock());
    const std::string exact(name);
    if (const char* value = ::getenv(exact.c_str()))
        return std::string(value);
    for (char** entry = environ; entry && *entry; ++entry) {
        const char* eq = std::strchr(*entry, '=');
        if (!eq)
            continue;
        if (SameVariableName(std::string_view(*entry, static_cast<size_t>(eq - *entry)), name)) {
            return std::string(eq + 1);
        }
    }
    return std::nullopt;
}

bool AssignEnvironmentVariable(const std::string& name, const std::optional<std::string>& value) {
    if (name.empty() || name.find('=') != std::string::npos) {
        errno = EINVAL;
        return false;
    }
    std::lock_guard guard(EnvironmentLock());
    std::vector<std::string> spellings = SpellingsLocked(name);
    if (value) {
        if (!PutEnvLocked(name, *value))
            return false;
        for (const std::string& other : spellings) {
            if (other != name && !PutEnvLocked(other, *value))
                return false;
        }
        return true;
    }
    for (const std::string& other : spellings) {
        if (::unsetenv(other.c_str()) != 0)
            return false;
    }
    return true;
}

}  // namespace kvwin
