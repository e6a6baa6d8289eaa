// Access tokens: what a token holds, the handle object, and the process token.
#pragma once

#include <sys/types.h>

#include <memory>
#include <mutex>
#include <vector>

#include "kvwin/handle_table.h"
#include "win/security.h"

namespace kvwin {

// One token. Identity, integrity and type never change after creation; the privileges
// change through AdjustTokenPrivileges and are guarded by `lock`.
struct TokenState {
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;  // primary first
    bool administrator = false;
    DWORD integrity = SECURITY_MANDATORY_MEDIUM_RID;
    TOKEN_TYPE type = TokenPrimary;
    SECURITY_IMPERSONATION_LEVEL level = SecurityAnonymous;

    mutable std::mutex lock;
    std::vector<LUID_AND_ATTRIBUTES> privileges;  // guarded by lock

    // An independent copy of another type and level.
    std::shared_ptr<TokenState> Copy(TOKEN_TYPE new_type,
                                     SECURITY_IMPERSONATION_LEVEL new_level) const;
};

// A token handle: the token and the rights this handle was opened with.
class TokenObject : public KernelObject {
  public:
    TokenObject(std::shared_ptr<TokenState> state, ACCESS_MASK access)
        : state_(std::move(state)), access_(access) {}
    HandleKind Kind() const override { return HandleKind::Token; }
    const std::shared_ptr<TokenState>& state() const { return state_; }
    bool Grants(ACCESS_MASK rights) const { return (access_ & rights) == rights; }
    ACCESS_MASK access() const { return access_; }

  private:
    std::shared_ptr<TokenState> state_;
    ACCESS_MASK access_;
};

// The rights a requested mask stands for (generic rights and MAXIMUM_ALLOWED resolved).
ACCESS_MASK ResolveTokenAccess(ACCESS_MASK requested);

// A token for an account with the given identity.
std::shared_ptr<TokenState> MakeToken(uid_t uid, gid_t gid, std::vector<gid_t> groups,
                                      DWORD integrity);

// The process token: one state shared by every open, rebuilt when the process's effective
// credentials or its integrity setting change. Safe from any thread.
std::shared_ptr<TokenState> ProcessToken();

// The privileges a new token of this user holds.
std::vector<LUID_AND_ATTRIBUTES> DefaultPrivileges(uid_t uid);

// Inserts a handle for the token; null on failure (last error set).
HANDLE OpenTokenHandle(std::shared_ptr<TokenState> state, ACCESS_MASK requested);

// The token a handle names, or null with ERROR_INVALID_HANDLE.
std::shared_ptr<TokenObject> TokenFromHandle(HANDLE handle);

// Impersonation of the calling thread (impersonation.cpp).
std::shared_ptr<TokenState> CurrentThreadToken();
// The calling thread's own supplementary groups (those it had before impersonating).
std::vector<gid_t> ThreadOwnGroups();

}  // namespace kvwin
