// The process environment behind one lock.
#include "kvwin/environment_lock.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

namespace kvwin {

std::mutex& EnvironmentLock() {
    static std::mutex* lock = new std::mutex;  // never destroyed: usable during exit
    return *lock;
}

namespace {

// Every "NAME=value" string this process made an entry of the environment, in order, never
// freed: held under the environment lock. (The C library's setenv would keep them in a
// search tree of its own; putenv with a string kept here costs a process less of the C
// library's code and data to page in.)
std::vector<char*>& KeptEntries() {
    static auto* entries = new std::vector<char*>;  // never destroyed: usable during exit
    return *entries;
}

// The entries are never freed, so what they take is bounded: a script that sets ever new
// values must not grow the process without end. Far above what any environment needs.
constexpr size_t kKeptBytesBound = size_t(64) << 20;
size_t g_kept_bytes = 0;  // under the environment lock

}  // namespace

bool PutEnvLocked(const std::string& name, const std::string& value) {
    try {
        std::string text;
        text.reserve(name.size() + 1 + value.size());
        text.append(name).append(1, '=').append(value);
        std::vector<char*>& kept = KeptEntries();
        const auto at = std::lower_bound(kept.begin(), kept.end(), text,
                                         [](const char* entry, const std::string& wanted) {
                                             return std::string_view(entry) < wanted;
                                         });
        char* entry = at != kept.end() && std::string_view(*at) == text ? *at : nullptr;
        if (!entry) {
            if (text.size() + 1 > kKeptBytesBound - g_kept_bytes) {
                errno = ENOMEM;
                return false;
            }
            entry = new char[text.size() + 1];
            std::memcpy(entry, text.c_str(), text.size() + 1);
            try {
                kept.insert(at, entry);
            } catch (...) {
                delete[] entry;
                throw;
            }
            g_kept_bytes += text.size() + 1;
        }
        return ::putenv(entry) == 0;
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return false;
    }
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
    return value ? PutEnvLocked(name, *value) : ::unsetenv(name.c_str()) == 0;
}

}  // namespace kvwin
