// Helpers the security tests share: folders another user can reach, the nobody account,
// and checks for code that runs in a child process (where GoogleTest cannot report).
#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "kvwin/utf.h"
#include "win/handles.h"

namespace kvsec {

// Ends the child process with a message when a condition does not hold.
#define CHILD_CHECK(condition)                                                                    \
    do {                                                                                          \
        if (!(condition)) {                                                                       \
            std::fprintf(stderr, "%s:%d: check failed: %s (last error %u)\n", __FILE__, __LINE__, \
                         #condition, static_cast<unsigned>(GetLastError()));                      \
            std::fflush(stderr);                                                                  \
            ::_exit(1);                                                                           \
        }                                                                                         \
    } while (0)

inline uid_t NobodyUid() {
    const passwd* entry = ::getpwnam("nobody");
    return entry ? entry->pw_uid : 65534;
}

inline gid_t NobodyGid() {
    const passwd* entry = ::getpwnam("nobody");
    return entry ? entry->pw_gid : 65534;
}

// Drops the whole (child) process to nobody.
inline void BecomeNobody() {
    CHILD_CHECK(::setgroups(0, nullptr) == 0);
    CHILD_CHECK(::setgid(NobodyGid()) == 0);
    CHILD_CHECK(::setuid(NobodyUid()) == 0);
    CHILD_CHECK(::geteuid() == NobodyUid());
}

// A folder under /tmp that every account can enter, removed with everything in it.
class OpenFolder {
  public:
    explicit OpenFolder(mode_t mode = 0777) {
        char pattern[] = "/tmp/kvsec-XXXXXX";
        if (::mkdtemp(pattern))
            path_ = pattern;
        ::chmod(path_.c_str(), mode);
    }
    ~OpenFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string Native(const std::string& name) const { return path_ + "/" + name; }
    std::u16string Wide(const std::string& name) const { return kvwin::FromUtf8(Native(name)); }

  private:
    std::string path_;
};

inline struct stat StatOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st;
}

inline mode_t ModeOf(const std::string& path) {
    return StatOf(path).st_mode & 07777;
}

}  // namespace kvsec
