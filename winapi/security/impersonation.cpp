// Impersonation: a thread token is the thread's own file-system identity.
//
// Linux keeps credentials per thread in the kernel; the C library makes setuid, setgid and
// setgroups process-wide by repeating them on every thread. The raw setfsuid, setfsgid and
// setgroups system calls change the calling thread only, so an impersonating thread creates
// files as, and is checked as, the impersonated user while the process's other threads stay
// as they were. Changing fsuid away from 0 drops the file capabilities of that thread;
// changing it back restores them.
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <unordered_map>

#include "kvwin/last_error.h"
#include "kvwin/security_token.h"
#include "token_state.h"
#include "win/kernel_objects.h"

namespace kvwin {

namespace {

uid_t CurrentFsUid() {
    return static_cast<uid_t>(::syscall(SYS_setfsuid, static_cast<uid_t>(-1)));
}

gid_t CurrentFsGid() {
    return static_cast<gid_t>(::syscall(SYS_setfsgid, static_cast<gid_t>(-1)));
}

std::vector<gid_t> CurrentGroups() {
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(count > 0 ? static_cast<size_t>(count) : 0);
    if (count > 0)
        groups.resize(static_cast<size_t>(::getgroups(count, groups.data())));
    return groups;
}

// A group list as a set, with the primary group in it.
std::vector<gid_t> GroupSet(std::vector<gid_t> groups, gid_t primary) {
    groups.push_back(primary);
    std::sort(groups.begin(), groups.end());
    groups.erase(std::unique(groups.begin(), groups.end()), groups.end());
    return groups;
}

// Sets the calling thread's file-system identity; on failure leaves it as it was.
DWORD SwitchThreadIdentity(uid_t uid, gid_t gid, const std::vector<gid_t>& groups) {
    const uid_t old_uid = CurrentFsUid();
    const gid_t old_gid = CurrentFsGid();
    const std::vector<gid_t> old_groups = CurrentGroups();
    const bool same_groups = GroupSet(old_groups, old_gid) == GroupSet(groups, gid);
    if (old_uid == uid && old_gid == gid && same_groups)
        return ERROR_SUCCESS;
    if (!same_groups &&
        ::syscall(SYS_setgroups, groups.size(), groups.empty() ? nullptr : groups.data()) != 0) {
        return ERROR_PRIVILEGE_NOT_HELD;
    }
    ::syscall(SYS_setfsgid, gid);
    ::syscall(SYS_setfsuid, uid);
    if (CurrentFsUid() == uid && CurrentFsGid() == gid)
        return ERROR_SUCCESS;
    ::syscall(SYS_setfsuid, old_uid);
    ::syscall(SYS_setfsgid, old_gid);
    ::syscall(SYS_setgroups, old_groups.size(), old_groups.empty() ? nullptr : old_groups.data());
    return ERROR_PRIVILEGE_NOT_HELD;
}

// Tokens of impersonating threads by thread id, so OpenThreadToken can answer for a
// thread other than the caller. Guarded by its own lock.
struct ThreadTokens {
    std::mutex lock;
    std::unordered_map<DWORD, std::shared_ptr<TokenState>> by_thread;
};

ThreadTokens& Registry() {
    static auto* registry = new ThreadTokens();  // used until exit, by any thread
    return *registry;
}

// The calling thread's impersonation; only that thread touches it.
struct ThreadImpersonation {
    std::shared_ptr<TokenState> token;
    std::vector<gid_t> own_groups;  // the thread's groups before it impersonated
    DWORD thread_id = 0;

    ~ThreadImpersonation() {
        if (token) {
            ThreadTokens& registry = Registry();
            std::lock_guard<std::mutex> guard(registry.lock);
            registry.by_thread.erase(thread_id);
        }
    }
};

thread_local ThreadImpersonation t_impersonation;

DWORD Impersonate(std::shared_ptr<TokenState> token) {
    ThreadImpersonation& self = t_impersonation;
    if (!self.token)
        self.own_groups = CurrentGroups();
    const DWORD error = SwitchThreadIdentity(token->uid, token->gid, token->groups);
    if (error)
        return error;
    self.thread_id = GetCurrentThreadId();
    self.token = token;
    ThreadTokens& registry = Registry();
    std::lock_guard<std::mutex> guard(registry.lock);
    registry.by_thread[self.thread_id] = std::move(token);
    return ERROR_SUCCESS;
}

DWORD Revert() {
    ThreadImpersonation& self = t_impersonation;
    if (!self.token)
        return ERROR_SUCCESS;
    const DWORD error = SwitchThreadIdentity(::geteuid(), ::getegid(), self.own_groups);
    if (error)
        return error;
    self.token.reset();
    ThreadTokens& registry = Registry();
    std::lock_guard<std::mutex> guard(registry.lock);
    registry.by_thread.erase(self.thread_id);
    return ERROR_SUCCESS;
}

// ERROR_SUCCESS for the calling thread, else why it cannot be used.
DWORD CheckCallingThread(HANDLE thread) {
    if (thread == GetCurrentThread())
        return ERROR_SUCCESS;
    const DWORD thread_id = GetThreadId(thread);
    if (!thread_id)
        return ERROR_INVALID_HANDLE;
    // Another thread's credentials are that thread's own to change.
    return thread_id == GetCurrentThreadId() ? ERROR_SUCCESS : ERROR_NOT_SUPPORTED;
}

}  // namespace

std::shared_ptr<TokenState> CurrentThreadToken() {
    return t_impersonation.token;
}

std::vector<gid_t> ThreadOwnGroups() {
    return t_impersonation.token ? t_impersonation.own_groups : CurrentGroups();
}

uid_t ThreadFileSystemUid() {
    return CurrentFsUid();
}

}  // namespace kvwin

using namespace kvwin;

extern "C" {

BOOL OpenThreadToken(HANDLE ThreadHandle, DWORD DesiredAccess, BOOL /*OpenAsSelf*/,
                     PHANDLE TokenHandle) {
    if (!TokenHandle)
        return FailWith(ERROR_INVALID_PARAMETER);
    *TokenHandle = nullptr;
    try {
        std::shared_ptr<TokenState> token;
        if (ThreadHandle == GetCurrentThread()) {
            token = CurrentThreadToken();
        } else {
            const DWORD thread_id = GetThreadId(ThreadHandle);
            if (!thread_id)
                return FailWith(ERROR_INVALID_HANDLE);
            if (thread_id == GetCurrentThreadId()) {
                token = CurrentThreadToken();
            } else {
                ThreadTokens& registry = Registry();
                std::lock_guard<std::mutex> guard(registry.lock);
                auto it = registry.by_thread.find(thread_id);
                if (it != registry.by_thread.end())
                    token = it->second;
            }
        }
        if (!token)
            return FailWith(ERROR_NO_TOKEN);
        HANDLE handle = OpenTokenHandle(std::move(token), DesiredAccess);
        if (!handle)
            return FALSE;
        *TokenHandle = handle;
        return TRUE;
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL SetThreadToken(PHANDLE Thread, HANDLE Token) {
    if (Thread) {
        const DWORD thread_error = CheckCallingThread(*Thread);
        if (thread_error)
            return FailWith(thread_error);
    }
    try {
        if (!Token) {
            const DWORD error = Revert();
            return error ? FailWith(error) : TRUE;
        }
        const std::shared_ptr<TokenObject> token = TokenFromHandle(Token);
        if (!token)
            return FALSE;
        if (token->state()->type != TokenImpersonation)
            return FailWith(ERROR_BAD_TOKEN_TYPE);
        if (!token->Grants(TOKEN_IMPERSONATE))
            return FailWith(ERROR_ACCESS_DENIED);
        const DWORD error = Impersonate(token->state());
        return error ? FailWith(error) : TRUE;
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL ImpersonateLoggedOnUser(HANDLE hToken) {
    const std::shared_ptr<TokenObject> token = TokenFromHandle(hToken);
    if (!token)
        return FALSE;
    const bool primary = token->state()->type == TokenPrimary;
    if (!token->Grants(TOKEN_QUERY | (primary ? TOKEN_DUPLICATE : TOKEN_IMPERSONATE)))
        return FailWith(ERROR_ACCESS_DENIED);
    try {
        std::shared_ptr<TokenState> state =
            primary ? token->state()->Copy(TokenImpersonation, SecurityImpersonation)
                    : token->state();
        const DWORD error = Impersonate(std::move(state));
        return error ? FailWith(error) : TRUE;
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL ImpersonateSelf(SECURITY_IMPERSONATION_LEVEL ImpersonationLevel) {
    if (ImpersonationLevel < SecurityAnonymous || ImpersonationLevel > SecurityDelegation)
        return FailWith(ERROR_INVALID_PARAMETER);
    try {
        const DWORD error =
            Impersonate(ProcessToken()->Copy(TokenImpersonation, ImpersonationLevel));
        return error ? FailWith(error) : TRUE;
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL RevertToSelf(void) {
    try {
        const DWORD error = Revert();
        return error ? FailWith(error) : TRUE;
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

}  // extern "C"
