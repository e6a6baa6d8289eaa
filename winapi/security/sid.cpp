// The SID functions: allocation, comparison, copies, well-known SIDs and the text form.
#include <cstring>

#include "kvwin/last_error.h"
#include "kvwin/utf.h"
#include "sid_value.h"
#include "win/security.h"

using namespace kvwin;

namespace {

bool ValidSid(PSID sid, SidValue* out = nullptr) {
    SidValue value;
    if (!ReadSid(sid, SIZE_MAX, value))
        return false;
    if (out)
        *out = std::move(value);
    return true;
}

struct WellKnown {
    WELL_KNOWN_SID_TYPE type;
    uint64_t authority;
    DWORD subs[2];
    size_t count;
};

const WellKnown kWellKnown[] = {
    {WinNullSid, 0, {0}, 1},
    {WinWorldSid, 1, {0}, 1},
    {WinLocalSid, 2, {0}, 1},
    {WinCreatorOwnerSid, 3, {0}, 1},
    {WinCreatorGroupSid, 3, {1}, 1},
    {WinInteractiveSid, 5, {4}, 1},
    {WinServiceSid, 5, {6}, 1},
    {WinAuthenticatedUserSid, 5, {11}, 1},
    {WinLocalSystemSid, 5, {18}, 1},
    {WinLocalServiceSid, 5, {19}, 1},
    {WinNetworkServiceSid, 5, {20}, 1},
    {WinBuiltinDomainSid, 5, {32}, 1},
    {WinBuiltinAdministratorsSid, 5, {32, 544}, 2},
    {WinBuiltinUsersSid, 5, {32, 545}, 2},
    {WinBuiltinGuestsSid, 5, {32, 546}, 2},
    {WinUntrustedLabelSid, 16, {SECURITY_MANDATORY_UNTRUSTED_RID}, 1},
    {WinLowLabelSid, 16, {SECURITY_MANDATORY_LOW_RID}, 1},
    {WinMediumLabelSid, 16, {SECURITY_MANDATORY_MEDIUM_RID}, 1},
    {WinHighLabelSid, 16, {SECURITY_MANDATORY_HIGH_RID}, 1},
    {WinSystemLabelSid, 16, {SECURITY_MANDATORY_SYSTEM_RID}, 1},
};

const WellKnown* FindWellKnown(WELL_KNOWN_SID_TYPE type) {
    for (const auto& entry : kWellKnown) {
        if (entry.type == type)
            return &entry;
    }
    return nullptr;
}

SidValue Build(const WellKnown& entry) {
    SidValue sid = SidValue::Make(entry.authority, {});
    sid.subs.assign(entry.subs, entry.subs + entry.count);
    return sid;
}

LPWSTR AllocateText(const std::u16string& text) {
    auto* out = static_cast<LPWSTR>(LocalAlloc(LMEM_FIXED, (text.size() + 1) * sizeof(WCHAR)));
    if (out) {
        std::memcpy(out, text.data(), text.size() * sizeof(WCHAR));
        out[text.size()] = u'\0';
    }
    return out;
}

}  // namespace

extern "C" {

BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY pIdentifierAuthority,
                              BYTE nSubAuthorityCount, DWORD s0, DWORD s1, DWORD s2, DWORD s3,
                              DWORD s4, DWORD s5, DWORD s6, DWORD s7, PSID* pSid) {
    if (!pIdentifierAuthority || !pSid || nSubAuthorityCount > 8)
        return FailWith(ERROR_INVALID_PARAMETER);
    try {
        const DWORD all[8] = {s0, s1, s2, s3, s4, s5, s6, s7};
        SidValue sid;
        std::memcpy(sid.authority.data(), pIdentifierAuthority->Value, 6);
        sid.subs.assign(all, all + nSubAuthorityCount);
        *pSid = AllocateSid(sid);
        return *pSid ? TRUE : FALSE;
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

PVOID FreeSid(PSID pSid) {
    LocalFree(pSid);
    return nullptr;
}

BOOL IsValidSid(PSID pSid) {
    return ValidSid(pSid) ? TRUE : FALSE;
}

BOOL EqualSid(PSID pSid1, PSID pSid2) {
    SidValue a, b;
    if (!ValidSid(pSid1, &a) || !ValidSid(pSid2, &b))
        return FailWith(ERROR_INVALID_SID);
    SetLastError(ERROR_SUCCESS);
    return a == b ? TRUE : FALSE;
}

DWORD GetLengthSid(PSID pSid) {
    if (!pSid)
        return 0;
    return 8 + 4 * static_cast<const BYTE*>(pSid)[1];
}

DWORD GetSidLengthRequired(UCHAR nSubAuthorityCount) {
    return 8 + 4 * static_cast<DWORD>(nSubAuthorityCount);
}

BOOL CopySid(DWORD nDestinationSidLength, PSID pDestinationSid, PSID pSourceSid) {
    if (!ValidSid(pSourceSid))
        return FailWith(ERROR_INVALID_SID);
    const DWORD length = GetLengthSid(pSourceSid);
    if (nDestinationSidLength < length || !pDestinationSid)
        return FailWith(ERROR_INSUFFICIENT_BUFFER);
    std::memmove(pDestinationSid, pSourceSid, length);
    return TRUE;
}

PSID_IDENTIFIER_AUTHORITY GetSidIdentifierAuthority(PSID pSid) {
    SetLastError(ERROR_SUCCESS);
    return &static_cast<PISID>(pSid)->IdentifierAuthority;
}

PDWORD GetSidSubAuthority(PSID pSid, DWORD nSubAuthority) {
    SetLastError(ERROR_SUCCESS);
    return reinterpret_cast<PDWORD>(static_cast<BYTE*>(pSid) + 8 + 4 * nSubAuthority);
}

PUCHAR GetSidSubAuthorityCount(PSID pSid) {
    SetLastError(ERROR_SUCCESS);
    return &static_cast<PISID>(pSid)->SubAuthorityCount;
}

BOOL CreateWellKnownSid(WELL_KNOWN_SID_TYPE WellKnownSidType, PSID /*DomainSid*/, PSID pSid,
                        DWORD* cbSid) {
    const WellKnown* entry = FindWellKnown(WellKnownSidType);
    if (!entry || !cbSid)
        return FailWith(ERROR_INVALID_PARAMETER);
    try {
        const SidValue sid = Build(*entry);
        const DWORD needed = static_cast<DWORD>(sid.Length());
        if (!pSid || *cbSid < needed) {
            *cbSid = needed;
            return FailWith(ERROR_INSUFFICIENT_BUFFER);
        }
        WriteSid(sid, pSid);
        *cbSid = needed;
        return TRUE;
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL IsWellKnownSid(PSID pSid, WELL_KNOWN_SID_TYPE WellKnownSidType) {
    const WellKnown* entry = FindWellKnown(WellKnownSidType);
    SidValue sid;
    if (!entry || !ValidSid(pSid, &sid))
        return FALSE;
    try {
        return sid == Build(*entry) ? TRUE : FALSE;
    } catch (...) {
        return FALSE;
    }
}

BOOL ConvertSidToStringSidW(PSID Sid, LPWSTR* StringSid) {
    if (!StringSid)
        return FailWith(ERROR_INVALID_PARAMETER);
    SidValue sid;
    if (!ValidSid(Sid, &sid))
        return FailWith(ERROR_INVALID_SID);
    try {
        *StringSid = AllocateText(SidText(sid));
        return *StringSid ? TRUE : FALSE;
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL ConvertStringSidToSidW(LPCWSTR StringSid, PSID* Sid) {
    if (!StringSid || !Sid)
        return FailWith(ERROR_INVALID_PARAMETER);
    try {
        SidValue sid;
        if (!ParseSidText(WideView(StringSid), sid))
            return FailWith(ERROR_INVALID_SID);
        *Sid = AllocateSid(sid);
        return *Sid ? TRUE : FALSE;
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

}  // extern "C"
