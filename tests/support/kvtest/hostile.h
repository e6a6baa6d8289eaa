// Helpers for tests that play a careless environment or a hostile local user.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

// In a child process: ends it with status 1 and the failed condition on stderr when the
// condition does not hold.
#define CHILD_CHECK(condition)                                                   \
    do {                                                                         \
        if (!(condition)) {                                                      \
            std::fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #condition); \
            ::_exit(1);                                                          \
        }                                                                        \
    } while (0)

namespace kvtest {

// In a child process (RunInChild): gives the process a mount namespace of its own and mounts
// a file system of `bytes` bytes at `folder`, which must exist. False (with the reason in
// `why`) where the environment forbids it (no CAP_SYS_ADMIN, no user namespaces); the
// caller then skips.
bool MountSmallFilesystem(const std::string& folder, size_t bytes, std::string& why);

// Writes a file into `folder` until the file system has no room left.
void FillFilesystem(const std::string& folder);

// Runs `body` in a child whose state root is a file system of `bytes` bytes, and expects the
// child to exit cleanly (CHILD_CHECK ends it otherwise). Skips the test where no such file
// system can be mounted.
void RunOnSmallFilesystem(size_t bytes, const std::function<void()>& body);

// The uid and gid of the unprivileged account the attacks run as ("nobody").
bool UnprivilegedAccount(uid_t& uid, gid_t& gid);

// A second local user that keeps planting a symbolic link at `path`, pointing at `target`,
// in a loop (removing whatever is there first, so a file the victim created is replaced),
// until the object goes out of scope. The planter is a forked child that has dropped to
// "nobody". started() is false where that is impossible (not root, no such account).
class LinkPlanter {
  public:
    LinkPlanter(const std::string& path, const std::string& target);
    ~LinkPlanter();
    LinkPlanter(const LinkPlanter&) = delete;
    LinkPlanter& operator=(const LinkPlanter&) = delete;
    bool started() const { return pid_ > 0; }
    // True once the planter has put a link in place at least once; false when it could not
    // within `timeout_ms` (it has no right to the folder).
    bool planted(int timeout_ms = 30000) const;

  private:
    pid_t pid_ = -1;
    int ready_fd_ = -1;
    mutable bool planted_ = false;
};

// Runs `body` in a forked child that has dropped to "nobody" and returns its exit status
// (or 128 + signal). -1 when it cannot be done.
int RunAsNobody(void (*body)(const void* context), const void* context);

}  // namespace kvtest
