// Tokens: the process token, token handles, GetTokenInformation and duplication.
//
// Integrity rule: a root process is high, any other medium. KAVREL_INTEGRITY, read when the
// process token is built, says how the process was started: "low" (or "untrusted") lowers
// it, "medium" lowers root to medium, "system" raises root (a service-like process) to
// system; other values and "high" for a non-root process change nothing.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>

#include "accounts.h"
#include "kvwin/ascii_case.h"
#include "kvwin/environment_lock.h"
#include "kvwin/last_error.h"
#include "kvwin/security_token.h"
#include "sid_value.h"
#include "token_state.h"

namespace kvwin {

namespace {

std::string LowerAscii(std::string text) {
    for (char& c : text)
        c = kvwin::AsciiLower(c);
    return text;
}

DWORD ProcessIntegrity(uid_t euid, const std::optional<std::string>& setting) {
    const DWORD normal = euid == 0 ? SECURITY_MANDATORY_HIGH_RID : SECURITY_MANDATORY_MEDIUM_RID;
    if (!setting)
        return normal;
    const std::string value = LowerAscii(*setting);
    if (value == "untrusted")
        return SECURITY_MANDATORY_UNTRUSTED_RID;
    if (value == "low")
        return SECURITY_MANDATORY_LOW_RID;
    if (value == "medium")
        return SECURITY_MANDATORY_MEDIUM_RID;
    if (value == "system" && euid == 0)
        return SECURITY_MANDATORY_SYSTEM_RID;
    return normal;
}

struct ProcessTokenCache {
    std::mutex lock;
    std::shared_ptr<TokenState> token;  // guarded by lock
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
    std::optional<std::string> setting;
};

ProcessTokenCache& Cache() {
    static auto* cache = new ProcessTokenCache();  // used until exit, by any thread
    return *cache;
}

// The bytes of one information class, laid out as Windows lays them out: the fixed part,
// then the SIDs it points to.
class InfoWriter {
  public:
    explicit InfoWriter(size_t fixed) : bytes_(fixed, 0) {}
    // Appends a SID and returns its offset.
    size_t AddSid(const SidValue& sid) {
        const size_t at = bytes_.size();
        AppendSid(sid, bytes_);
        return at;
    }
    template <class T>
    void Put(size_t at, const T& value) {
        std::memcpy(bytes_.data() + at, &value, sizeof value);
    }
    const std::vector<BYTE>& bytes() const { return bytes_; }
    // Pointer fields hold offsets until the block lands in the caller's buffer.
    std::vector<size_t> pointer_fields;

  private:
    std::vector<BYTE> bytes_;
};

void PutSidAndAttributes(InfoWriter& writer, size_t at, const SidValue& sid, DWORD attributes) {
    const size_t sid_at = writer.AddSid(sid);
    writer.Put(at + offsetof(SID_AND_ATTRIBUTES, Sid), sid_at);
    writer.Put(at + offsetof(SID_AND_ATTRIBUTES, Attributes), attributes);
    writer.pointer_fields.push_back(at + offsetof(SID_AND_ATTRIBUTES, Sid));
}

struct GroupEntry {
    SidValue sid;
    DWORD attributes;
};

std::vector<GroupEntry> TokenGroupList(const TokenState& token) {
    constexpr DWORD kOn = SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED;
    std::vector<GroupEntry> groups;
    for (gid_t gid : token.groups)
        groups.push_back({GroupSid(gid), kOn});
    groups.push_back({EveryoneSid(), kOn});
    if (token.administrator) {
        // Only an elevated token uses Administrators to grant; otherwise it can only deny.
        const bool elevated = token.integrity >= SECURITY_MANDATORY_HIGH_RID;
        groups.push_back(
            {AdministratorsSid(), elevated ? kOn | SE_GROUP_OWNER : SE_GROUP_USE_FOR_DENY_ONLY});
    }
    groups.push_back({UsersSid(), kOn});
    groups.push_back({AuthenticatedUsersSid(), kOn});
    groups.push_back(
        {IntegritySid(token.integrity), SE_GROUP_INTEGRITY | SE_GROUP_INTEGRITY_ENABLED});
    return groups;
}

// Builds the information of one class; the error for classes not answered.
DWORD BuildInformation(const TokenState& token, TOKEN_INFORMATION_CLASS info_class,
                       std::unique_ptr<InfoWriter>& out) {
    switch (info_class) {
        case TokenUser: {
            out = std::make_unique<InfoWriter>(sizeof(TOKEN_USER));
            PutSidAndAttributes(*out, 0, UserSid(token.uid), 0);
            return ERROR_SUCCESS;
        }
        case TokenIntegrityLevel: {
            out = std::make_unique<InfoWriter>(sizeof(TOKEN_MANDATORY_LABEL));
            PutSidAndAttributes(*out, 0, IntegritySid(token.integrity),
                                SE_GROUP_INTEGRITY | SE_GROUP_INTEGRITY_ENABLED);
            return ERROR_SUCCESS;
        }
        case TokenGroups: {
            const std::vector<GroupEntry> groups = TokenGroupList(token);
            const size_t fixed =
                offsetof(TOKEN_GROUPS, Groups) + groups.size() * sizeof(SID_AND_ATTRIBUTES);
            out = std::make_unique<InfoWriter>(fixed);
            out->Put(0, static_cast<DWORD>(groups.size()));
            for (size_t i = 0; i < groups.size(); ++i) {
                PutSidAndAttributes(*out,
                                    offsetof(TOKEN_GROUPS, Groups) + i * sizeof(SID_AND_ATTRIBUTES),
                                    groups[i].sid, groups[i].attributes);
            }
            return ERROR_SUCCESS;
        }
        case TokenOwner:
        case TokenPrimaryGroup: {
            out = std::make_unique<InfoWriter>(sizeof(PSID));
            const size_t sid_at =
                out->AddSid(info_class == TokenOwner ? UserSid(token.uid) : GroupSid(token.gid));
            out->Put(0, sid_at);
            out->pointer_fields.push_back(0);
            return ERROR_SUCCESS;
        }
        case TokenPrivileges: {
            std::vector<LUID_AND_ATTRIBUTES> privileges;
            {
                std::lock_guard<std::mutex> guard(token.lock);
                privileges = token.privileges;
            }
            out = std::make_unique<InfoWriter>(offsetof(TOKEN_PRIVILEGES, Privileges) +
                                               privileges.size() * sizeof(LUID_AND_ATTRIBUTES));
            out->Put(0, static_cast<DWORD>(privileges.size()));
            for (size_t i = 0; i < privileges.size(); ++i) {
                out->Put(offsetof(TOKEN_PRIVILEGES, Privileges) + i * sizeof(LUID_AND_ATTRIBUTES),
                         privileges[i]);
            }
            return ERROR_SUCCESS;
        }
        case TokenType:
            out = std::make_unique<InfoWriter>(sizeof(TOKEN_TYPE));
            out->Put(0, token.type);
            return ERROR_SUCCESS;
        case TokenImpersonationLevel:
            if (token.type != TokenImpersonation)
                return ERROR_INVALID_PARAMETER;
            out = std::make_unique<InfoWriter>(sizeof(SECURITY_IMPERSONATION_LEVEL));
            out->Put(0, token.level);
            return ERROR_SUCCESS;
        case TokenElevation: {
            out = std::make_unique<InfoWriter>(sizeof(TOKEN_ELEVATION));
            const TOKEN_ELEVATION elevation{token.integrity >= SECURITY_MANDATORY_HIGH_RID ? 1u
                                                                                           : 0u};
            out->Put(0, elevation);
            return ERROR_SUCCESS;
        }
        case TokenElevationType: {
            out = std::make_unique<InfoWriter>(sizeof(TOKEN_ELEVATION_TYPE));
            TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
            if (token.administrator && token.uid != 0) {
                type = token.integrity >= SECURITY_MANDATORY_HIGH_RID ? TokenElevationTypeFull
                                                                      : TokenElevationTypeLimited;
            }
            out->Put(0, type);
            return ERROR_SUCCESS;
        }
        default:
            return ERROR_INVALID_PARAMETER;
    }
}

}  // namespace

std::shared_ptr<TokenState> TokenState::Copy(TOKEN_TYPE new_type,
                                             SECURITY_IMPERSONATION_LEVEL new_level) const {
    auto copy = std::make_shared<TokenState>();
    copy->uid = uid;
    copy->gid = gid;
    copy->groups = groups;
    copy->administrator = administrator;
    copy->integrity = integrity;
    copy->type = new_type;
    copy->level = new_type == TokenImpersonation ? new_level : SecurityAnonymous;
    std::lock_guard<std::mutex> guard(lock);
    copy->privileges = privileges;
    return copy;
}

ACCESS_MASK ResolveTokenAccess(ACCESS_MASK requested) {
    if (requested & (MAXIMUM_ALLOWED | GENERIC_ALL))
        return TOKEN_ALL_ACCESS;
    ACCESS_MASK access = requested & (STANDARD_RIGHTS_ALL | SPECIFIC_RIGHTS_ALL);
    if (requested & GENERIC_READ)
        access |= TOKEN_READ;
    if (requested & GENERIC_WRITE)
        access |= TOKEN_WRITE;
    if (requested & GENERIC_EXECUTE)
        access |= STANDARD_RIGHTS_EXECUTE;
    return access & TOKEN_ALL_ACCESS;
}

std::shared_ptr<TokenState> MakeToken(uid_t uid, gid_t gid, std::vector<gid_t> groups,
                                      DWORD integrity) {
    auto token = std::make_shared<TokenState>();
    token->uid = uid;
    token->gid = gid;
    token->groups = std::move(groups);
    token->administrator = IsAdministrator(uid);
    token->integrity = integrity;
    token->type = TokenPrimary;
    token->privileges = DefaultPrivileges(uid);
    return token;
}

std::shared_ptr<TokenState> ProcessToken() {
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    std::vector<gid_t> groups = ThreadOwnGroups();
    groups.erase(std::remove(groups.begin(), groups.end(), gid), groups.end());
    groups.insert(groups.begin(), gid);
    const std::optional<std::string> setting = GetEnvUtf8("KAVREL_INTEGRITY");

    ProcessTokenCache& cache = Cache();
    std::lock_guard<std::mutex> guard(cache.lock);
    if (!cache.token || cache.uid != uid || cache.gid != gid || cache.groups != groups ||
        cache.setting != setting) {
        cache.token = MakeToken(uid, gid, groups, ProcessIntegrity(uid, setting));
        cache.uid = uid;
        cache.gid = gid;
        cache.groups = std::move(groups);
        cache.setting = setting;
    }
    return cache.token;
}

HANDLE OpenTokenHandle(std::shared_ptr<TokenState> state, ACCESS_MASK requested) {
    return InsertHandle(
        std::make_shared<TokenObject>(std::move(state), ResolveTokenAccess(requested)));
}

std::shared_ptr<TokenObject> TokenFromHandle(HANDLE handle) {
    return LookupHandleAs<TokenObject>(handle, HandleKind::Token);
}

bool TokenAccountOf(HANDLE token, TokenAccount& account) {
    const std::shared_ptr<TokenObject> object = TokenFromHandle(token);
    if (!object)
        return false;
    const TokenState& state = *object->state();
    account.uid = state.uid;
    account.gid = state.gid;
    account.groups = state.groups;
    return true;
}

HANDLE CreateAccountToken(uid_t uid) {
    try {
        const std::optional<UserAccount> user = FindUser(uid);
        if (!user) {
            SetLastError(ERROR_NONE_MAPPED);
            return nullptr;
        }
        const DWORD integrity =
            uid == 0 ? SECURITY_MANDATORY_HIGH_RID : SECURITY_MANDATORY_MEDIUM_RID;
        return OpenTokenHandle(MakeToken(uid, user->gid, GroupsOfUser(*user), integrity),
                               TOKEN_ALL_ACCESS);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

}  // namespace kvwin

using namespace kvwin;

extern "C" {

BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle) {
    if (!TokenHandle)
        return FailWith(ERROR_INVALID_PARAMETER);
    if (ProcessHandle != GetCurrentProcess())
        return FailWith(ERROR_INVALID_HANDLE);
    try {
        HANDLE handle = OpenTokenHandle(ProcessToken(), DesiredAccess);
        if (!handle)
            return FALSE;
        *TokenHandle = handle;
        return TRUE;
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL GetTokenInformation(HANDLE TokenHandle, TOKEN_INFORMATION_CLASS TokenInformationClass,
                         LPVOID TokenInformation, DWORD TokenInformationLength,
                         PDWORD ReturnLength) {
    if (!ReturnLength)
        return FailWith(ERROR_INVALID_PARAMETER);
    const std::shared_ptr<TokenObject> token = TokenFromHandle(TokenHandle);
    if (!token)
        return FALSE;
    if (!token->Grants(TOKEN_QUERY))
        return FailWith(ERROR_ACCESS_DENIED);
    try {
        std::unique_ptr<InfoWriter> writer;
        const DWORD error = BuildInformation(*token->state(), TokenInformationClass, writer);
        if (error)
            return FailWith(error);
        const std::vector<BYTE>& bytes = writer->bytes();
        *ReturnLength = static_cast<DWORD>(bytes.size());
        if (!TokenInformation || TokenInformationLength < bytes.size())
            return FailWith(ERROR_INSUFFICIENT_BUFFER);
        auto* out = static_cast<BYTE*>(TokenInformation);
        std::memcpy(out, bytes.data(), bytes.size());
        for (size_t field : writer->pointer_fields) {
            size_t offset = 0;
            std::memcpy(&offset, out + field, sizeof offset);
            BYTE* pointer = out + offset;
            std::memcpy(out + field, &pointer, sizeof pointer);
        }
        return TRUE;
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL DuplicateTokenEx(HANDLE hExistingToken, DWORD dwDesiredAccess,
                      LPSECURITY_ATTRIBUTES /*lpTokenAttributes*/,
                      SECURITY_IMPERSONATION_LEVEL ImpersonationLevel, TOKEN_TYPE TokenType,
                      PHANDLE phNewToken) {
    if (!phNewToken || (TokenType != TokenPrimary && TokenType != TokenImpersonation) ||
        ImpersonationLevel < SecurityAnonymous || ImpersonationLevel > SecurityDelegation) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    const std::shared_ptr<TokenObject> token = TokenFromHandle(hExistingToken);
    if (!token)
        return FALSE;
    if (!token->Grants(TOKEN_DUPLICATE))
        return FailWith(ERROR_ACCESS_DENIED);
    const TokenState& source = *token->state();
    if (source.type == TokenImpersonation) {
        if (ImpersonationLevel > source.level)
            return FailWith(ERROR_BAD_IMPERSONATION_LEVEL);
        if (TokenType == TokenPrimary && source.level < SecurityImpersonation)
            return FailWith(ERROR_BAD_IMPERSONATION_LEVEL);
    }
    try {
        // No access asked for: the same access as the existing handle.
        const ACCESS_MASK access = dwDesiredAccess ? dwDesiredAccess : token->access();
        HANDLE handle = OpenTokenHandle(source.Copy(TokenType, ImpersonationLevel), access);
        if (!handle)
            return FALSE;
        *phNewToken = handle;
        return TRUE;
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL DuplicateToken(HANDLE ExistingTokenHandle, SECURITY_IMPERSONATION_LEVEL ImpersonationLevel,
                    PHANDLE DuplicateTokenHandle) {
    return DuplicateTokenEx(ExistingTokenHandle, TOKEN_IMPERSONATE | TOKEN_QUERY, nullptr,
                            ImpersonationLevel, TokenImpersonation, DuplicateTokenHandle);
}

}  // extern "C"
