// LookupAccountSidW and LookupAccountNameW over the well-known names and the account
// databases.
#include <cstring>

#include "accounts.h"
#include "kvwin/ascii_case.h"
#include "kvwin/last_error.h"
#include "kvwin/utf.h"
#include "win/security.h"

using namespace kvwin;

namespace {

struct WellKnownName {
    const char16_t* name;
    const char16_t* domain;
    SID_NAME_USE use;
    uint64_t authority;
    DWORD subs[2];
    size_t count;
};

const WellKnownName kNames[] = {
    {u"SYSTEM", u"NT AUTHORITY", SidTypeWellKnownGroup, 5, {18}, 1},
    {u"LOCAL SERVICE", u"NT AUTHORITY", SidTypeWellKnownGroup, 5, {19}, 1},
    {u"NETWORK SERVICE", u"NT AUTHORITY", SidTypeWellKnownGroup, 5, {20}, 1},
    {u"Authenticated Users", u"NT AUTHORITY", SidTypeWellKnownGroup, 5, {11}, 1},
    {u"INTERACTIVE", u"NT AUTHORITY", SidTypeWellKnownGroup, 5, {4}, 1},
    {u"SERVICE", u"NT AUTHORITY", SidTypeWellKnownGroup, 5, {6}, 1},
    {u"Administrators", u"BUILTIN", SidTypeAlias, 5, {32, 544}, 2},
    {u"Users", u"BUILTIN", SidTypeAlias, 5, {32, 545}, 2},
    {u"Guests", u"BUILTIN", SidTypeAlias, 5, {32, 546}, 2},
    {u"Everyone", u"", SidTypeWellKnownGroup, 1, {0}, 1},
    {u"CREATOR OWNER", u"", SidTypeWellKnownGroup, 3, {0}, 1},
    {u"CREATOR GROUP", u"", SidTypeWellKnownGroup, 3, {1}, 1},
    {u"Untrusted Mandatory Level", u"Mandatory Label", SidTypeLabel, 16, {0}, 1},
    {u"Low Mandatory Level", u"Mandatory Label", SidTypeLabel, 16, {0x1000}, 1},
    {u"Medium Mandatory Level", u"Mandatory Label", SidTypeLabel, 16, {0x2000}, 1},
    {u"High Mandatory Level", u"Mandatory Label", SidTypeLabel, 16, {0x3000}, 1},
    {u"System Mandatory Level", u"Mandatory Label", SidTypeLabel, 16, {0x4000}, 1},
};

SidValue SidOf(const WellKnownName& entry) {
    SidValue sid = SidValue::Make(entry.authority, {});
    sid.subs.assign(entry.subs, entry.subs + entry.count);
    return sid;
}

struct Resolved {
    SidValue sid;
    std::u16string name;
    std::u16string domain;
    SID_NAME_USE use = SidTypeUnknown;
};

bool ResolveSid(const SidValue& sid, Resolved& out) {
    for (const auto& entry : kNames) {
        if (SidOf(entry) == sid) {
            out = {sid, entry.name, entry.domain, entry.use};
            return true;
        }
    }
    if (sid.Authority() != 22 || sid.subs.size() != 2)
        return false;
    if (sid.subs[0] == SECURITY_UNIX_USER_RID) {
        if (auto user = FindUser(static_cast<uid_t>(sid.subs[1]))) {
            out = {sid, FromUtf8(user->name), ComputerDomain(), SidTypeUser};
            return true;
        }
    } else if (sid.subs[0] == SECURITY_UNIX_GROUP_RID) {
        if (auto group = FindGroup(static_cast<gid_t>(sid.subs[1]))) {
            out = {sid, FromUtf8(group->name), ComputerDomain(), SidTypeAlias};
            return true;
        }
    }
    return false;
}

bool ResolveName(std::u16string_view text, Resolved& out) {
    std::u16string_view domain;
    bool has_domain = false;
    const size_t slash = text.find(u'\\');
    if (slash != std::u16string_view::npos) {
        domain = text.substr(0, slash);
        text = text.substr(slash + 1);
        has_domain = true;
    }
    if (text.empty())
        return false;
    for (const auto& entry : kNames) {
        if (kvwin::EqualsAsciiNoCase(text, entry.name) &&
            (!has_domain || kvwin::EqualsAsciiNoCase(domain, entry.domain))) {
            out = {SidOf(entry), entry.name, entry.domain, entry.use};
            return true;
        }
    }
    if (has_domain && !kvwin::EqualsAsciiNoCase(domain, ComputerDomain()))
        return false;
    const std::string name = ToUtf8(text);
    if (auto user = FindUser(name)) {
        if (user->uid == 0) {
            out = {LocalSystemSid(), u"SYSTEM", u"NT AUTHORITY", SidTypeWellKnownGroup};
        } else {
            out = {UserSid(user->uid), FromUtf8(user->name), ComputerDomain(), SidTypeUser};
        }
        return true;
    }
    if (auto group = FindGroup(name)) {
        out = {GroupSid(group->gid), FromUtf8(group->name), ComputerDomain(), SidTypeAlias};
        return true;
    }
    return false;
}

// Copies text when it fits (capacity counts the NUL); the size out is the length without
// the NUL when it fit, the size needed with it when it did not.
bool FitText(const std::u16string& text, LPWSTR buffer, LPDWORD capacity) {
    const bool fits = buffer && *capacity > text.size();
    if (fits) {
        std::memcpy(buffer, text.data(), text.size() * sizeof(WCHAR));
        buffer[text.size()] = u'\0';
        *capacity = static_cast<DWORD>(text.size());
    } else {
        *capacity = static_cast<DWORD>(text.size() + 1);
    }
    return fits;
}

}  // namespace

extern "C" {

BOOL LookupAccountSidW(LPCWSTR lpSystemName, PSID Sid, LPWSTR Name, LPDWORD cchName,
                       LPWSTR ReferencedDomainName, LPDWORD cchReferencedDomainName,
                       PSID_NAME_USE peUse) {
    if (!cchName || !cchReferencedDomainName)
        return FailWith(ERROR_INVALID_PARAMETER);
    try {
        SidValue sid;
        if (!ReadSid(Sid, SIZE_MAX, sid))
            return FailWith(ERROR_INVALID_SID);
        if (!IsLocalSystemName(lpSystemName))
            return FailWith(RPC_S_SERVER_UNAVAILABLE);
        Resolved resolved;
        if (!ResolveSid(sid, resolved))
            return FailWith(ERROR_NONE_MAPPED);
        const DWORD name_capacity = *cchName;
        const DWORD domain_capacity = *cchReferencedDomainName;
        const bool name_fits = Name && name_capacity > resolved.name.size();
        const bool domain_fits = ReferencedDomainName && domain_capacity > resolved.domain.size();
        if (!name_fits || !domain_fits) {
            *cchName = static_cast<DWORD>(resolved.name.size() + 1);
            *cchReferencedDomainName = static_cast<DWORD>(resolved.domain.size() + 1);
            return FailWith(ERROR_INSUFFICIENT_BUFFER);
        }
        FitText(resolved.name, Name, cchName);
        FitText(resolved.domain, ReferencedDomainName, cchReferencedDomainName);
        if (peUse)
            *peUse = resolved.use;
        return TRUE;
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL LookupAccountNameW(LPCWSTR lpSystemName, LPCWSTR lpAccountName, PSID Sid, LPDWORD cbSid,
                        LPWSTR ReferencedDomainName, LPDWORD cchReferencedDomainName,
                        PSID_NAME_USE peUse) {
    if (!lpAccountName || !cbSid || !cchReferencedDomainName)
        return FailWith(ERROR_INVALID_PARAMETER);
    try {
        if (!IsLocalSystemName(lpSystemName))
            return FailWith(RPC_S_SERVER_UNAVAILABLE);
        Resolved resolved;
        if (!ResolveName(WideView(lpAccountName), resolved))
            return FailWith(ERROR_NONE_MAPPED);
        const DWORD sid_size = static_cast<DWORD>(resolved.sid.Length());
        const bool sid_fits = Sid && *cbSid >= sid_size;
        const bool domain_fits =
            ReferencedDomainName && *cchReferencedDomainName > resolved.domain.size();
        if (!sid_fits || !domain_fits) {
            *cbSid = sid_size;
            *cchReferencedDomainName = static_cast<DWORD>(resolved.domain.size() + 1);
            return FailWith(ERROR_INSUFFICIENT_BUFFER);
        }
        WriteSid(resolved.sid, Sid);
        *cbSid = sid_size;
        FitText(resolved.domain, ReferencedDomainName, cchReferencedDomainName);
        if (peUse)
            *peUse = resolved.use;
        return TRUE;
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

}  // extern "C"
