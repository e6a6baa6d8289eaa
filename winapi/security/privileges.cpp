// Privilege names and values, the privileges a token holds, and AdjustTokenPrivileges.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "accounts.h"
#include "kvwin/ascii_case.h"
#include "kvwin/last_error.h"
#include "kvwin/utf.h"
#include "token_state.h"

namespace kvwin {

namespace {

struct Privilege {
    const char16_t* name;
    DWORD value;
    bool user;          // held by every token, not only root's
    bool root_enabled;  // enabled by default in root's token
};

// The Windows privilege values (the low part of their LUIDs).
constexpr Privilege kPrivileges[] = {
    {u"SeCreateTokenPrivilege", 2, false, false},
    {u"SeAssignPrimaryTokenPrivilege", 3, false, false},
    {u"SeLockMemoryPrivilege", 4, false, true},
    {u"SeIncreaseQuotaPrivilege", 5, false, false},
    {u"SeMachineAccountPrivilege", 6, false, false},
    {u"SeTcbPrivilege", 7, false, true},
    {u"SeSecurityPrivilege", 8, false, false},
    {u"SeTakeOwnershipPrivilege", 9, false, false},
    {u"SeLoadDriverPrivilege", 10, false, false},
    {u"SeSystemProfilePrivilege", 11, false, false},
    {u"SeSystemtimePrivilege", 12, false, false},
    {u"SeProfileSingleProcessPrivilege", 13, false, true},
    {u"SeIncreaseBasePriorityPrivilege", 14, false, true},
    {u"SeCreatePagefilePrivilege", 15, false, true},
    {u"SeCreatePermanentPrivilege", 16, false, true},
    {u"SeBackupPrivilege", 17, false, false},
    {u"SeRestorePrivilege", 18, false, false},
    {u"SeShutdownPrivilege", 19, true, false},
    {u"SeDebugPrivilege", 20, false, true},
    {u"SeAuditPrivilege", 21, false, true},
    {u"SeSystemEnvironmentPrivilege", 22, false, false},
    {u"SeChangeNotifyPrivilege", 23, true, true},
    {u"SeRemoteShutdownPrivilege", 24, false, false},
    {u"SeUndockPrivilege", 25, true, false},
    {u"SeSyncAgentPrivilege", 26, false, false},
    {u"SeEnableDelegationPrivilege", 27, false, false},
    {u"SeManageVolumePrivilege", 28, false, false},
    {u"SeImpersonatePrivilege", 29, false, true},
    {u"SeCreateGlobalPrivilege", 30, false, true},
    {u"SeTrustedCredManAccessPrivilege", 31, false, false},
    {u"SeRelabelPrivilege", 32, false, false},
    {u"SeIncreaseWorkingSetPrivilege", 33, true, true},
    {u"SeTimeZonePrivilege", 34, true, true},
    {u"SeCreateSymbolicLinkPrivilege", 35, false, true},
    {u"SeDelegateSessionUserImpersonatePrivilege", 36, false, true},
};

bool SameLuid(const LUID& a, const LUID& b) {
    return a.LowPart == b.LowPart && a.HighPart == b.HighPart;
}

}  // namespace

std::vector<LUID_AND_ATTRIBUTES> DefaultPrivileges(uid_t uid) {
    std::vector<LUID_AND_ATTRIBUTES> held;
    for (const Privilege& privilege : kPrivileges) {
        if (uid != 0 && !privilege.user)
            continue;
        DWORD attributes = 0;
        if (uid == 0 ? privilege.root_enabled : privilege.value == 23)
            attributes = SE_PRIVILEGE_ENABLED_BY_DEFAULT | SE_PRIVILEGE_ENABLED;
        held.push_back({{privilege.value, 0}, attributes});
    }
    return held;
}

}  // namespace kvwin

using namespace kvwin;

extern "C" {

BOOL LookupPrivilegeValueW(LPCWSTR lpSystemName, LPCWSTR lpName, PLUID lpLuid) {
    if (!lpName || !lpLuid)
        return FailWith(ERROR_INVALID_PARAMETER);
    if (!IsLocalSystemName(lpSystemName))
        return FailWith(RPC_S_SERVER_UNAVAILABLE);
    const std::u16string_view name = WideView(lpName);
    for (const auto& privilege : kPrivileges) {
        if (kvwin::EqualsAsciiNoCase(name, privilege.name)) {
            lpLuid->LowPart = privilege.value;
            lpLuid->HighPart = 0;
            return TRUE;
        }
    }
    return FailWith(ERROR_NO_SUCH_PRIVILEGE);
}

BOOL LookupPrivilegeNameW(LPCWSTR lpSystemName, PLUID lpLuid, LPWSTR lpName, LPDWORD cchName) {
    if (!lpLuid || !cchName)
        return FailWith(ERROR_INVALID_PARAMETER);
    if (!IsLocalSystemName(lpSystemName))
        return FailWith(RPC_S_SERVER_UNAVAILABLE);
    for (const auto& privilege : kPrivileges) {
        if (lpLuid->HighPart != 0 || lpLuid->LowPart != privilege.value)
            continue;
        const size_t length = WideLength(privilege.name);
        if (!lpName || *cchName <= length) {
            *cchName = static_cast<DWORD>(length + 1);
            return FailWith(ERROR_INSUFFICIENT_BUFFER);
        }
        std::memcpy(lpName, privilege.name, (length + 1) * sizeof(WCHAR));
        *cchName = static_cast<DWORD>(length);
        return TRUE;
    }
    return FailWith(ERROR_NO_SUCH_PRIVILEGE);
}

BOOL AdjustTokenPrivileges(HANDLE TokenHandle, BOOL DisableAllPrivileges,
                           PTOKEN_PRIVILEGES NewState, DWORD BufferLength,
                           PTOKEN_PRIVILEGES PreviousState, PDWORD ReturnLength) {
    const std::shared_ptr<TokenObject> token = TokenFromHandle(TokenHandle);
    if (!token)
        return FALSE;
    if (!token->Grants(TOKEN_ADJUST_PRIVILEGES) || (PreviousState && !token->Grants(TOKEN_QUERY))) {
        return FailWith(ERROR_ACCESS_DENIED);
    }
    if (!DisableAllPrivileges && !NewState)
        return FailWith(ERROR_INVALID_PARAMETER);
    if (PreviousState && !ReturnLength)
        return FailWith(ERROR_INVALID_PARAMETER);
    try {
        TokenState& state = *token->state();
        std::lock_guard<std::mutex> guard(state.lock);
        // Work out the new list first, so that a too-small previous-state buffer changes
        // nothing.
        std::vector<LUID_AND_ATTRIBUTES> updated = state.privileges;
        std::vector<LUID_AND_ATTRIBUTES> previous;
        bool not_all_assigned = false;
        auto change = [&](LUID_AND_ATTRIBUTES& held, DWORD enabled) {
            if ((held.Attributes & SE_PRIVILEGE_ENABLED) == enabled)
                return;
            previous.push_back(held);
            held.Attributes = (held.Attributes & ~SE_PRIVILEGE_ENABLED) | enabled;
        };
        if (DisableAllPrivileges) {
            for (auto& held : updated)
                change(held, 0);
        } else {
            for (DWORD i = 0; i < NewState->PrivilegeCount; ++i) {
                const LUID_AND_ATTRIBUTES& wanted = NewState->Privileges[i];
                auto it = std::find_if(updated.begin(), updated.end(), [&](const auto& held) {
                    return SameLuid(held.Luid, wanted.Luid);
                });
                if (it == updated.end()) {
                    not_all_assigned = true;
                    continue;
                }
                if (wanted.Attributes & SE_PRIVILEGE_REMOVED) {
                    previous.push_back(*it);
                    updated.erase(it);
                    continue;
                }
                change(*it, wanted.Attributes & SE_PRIVILEGE_ENABLED);
            }
        }
        if (PreviousState) {
            const DWORD needed = static_cast<DWORD>(offsetof(TOKEN_PRIVILEGES, Privileges) +
                                                    previous.size() * sizeof(LUID_AND_ATTRIBUTES));
            *ReturnLength = needed;
            if (BufferLength < needed)
                return FailWith(ERROR_INSUFFICIENT_BUFFER);
            PreviousState->PrivilegeCount = static_cast<DWORD>(previous.size());
            for (size_t i = 0; i < previous.size(); ++i)
                PreviousState->Privileges[i] = previous[i];
        }
        state.privileges = std::move(updated);
        SetLastError(not_all_assigned ? ERROR_NOT_ALL_ASSIGNED : ERROR_SUCCESS);
        return TRUE;
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

}  // extern "C"
