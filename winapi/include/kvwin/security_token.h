// Tokens for the rest of the layer, for hosts and for tests.
//
// A host that serves a user (or a test that plays one) impersonates that user on one
// thread: CreateAccountToken(uid) gives a primary token for a local account,
// ImpersonateLoggedOnUser(token) switches the calling thread's file-system identity to it,
// RevertToSelf switches back. ScopedImpersonation does the three in one object. Only root
// may impersonate another user. Safe from any thread; each thread's impersonation is its own.
#pragma once

#include <sys/types.h>

#include <vector>

#include "win/security.h"

namespace kvwin {

// The Linux identity a token stands for: what a child started with it runs as.
struct TokenAccount {
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;  // supplementary groups, the primary group included
};

// False with ERROR_INVALID_HANDLE when `token` is not a token handle.
KVWIN_API bool TokenAccountOf(HANDLE token, TokenAccount& account);

// A primary token (TOKEN_ALL_ACCESS) for the account with this uid, its groups taken from
// the group database; integrity high for root, medium for others. Null with
// ERROR_NONE_MAPPED when the password database has no such account.
KVWIN_API HANDLE CreateAccountToken(uid_t uid);

// The uid the calling thread acts as on files: the impersonated user, else the effective uid.
KVWIN_API uid_t ThreadFileSystemUid();

// Impersonates the account on the calling thread for the object's lifetime.
class ScopedImpersonation {
  public:
    explicit ScopedImpersonation(uid_t uid) {
        HANDLE token = CreateAccountToken(uid);
        if (token) {
            active_ = ImpersonateLoggedOnUser(token) != FALSE;
            error_ = active_ ? 0 : GetLastError();
            CloseHandle(token);
        } else {
            error_ = GetLastError();
        }
    }
    ~ScopedImpersonation() {
        if (active_)
            RevertToSelf();
    }
    ScopedImpersonation(const ScopedImpersonation&) = delete;
    ScopedImpersonation& operator=(const ScopedImpersonation&) = delete;

    bool active() const { return active_; }
    DWORD error() const { return error_; }

  private:
    bool active_ = false;
    DWORD error_ = 0;
};

}  // namespace kvwin
