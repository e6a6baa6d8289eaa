// Security descriptors and ACLs built and inspected by the caller.
#include <cstring>

#include "descriptor_model.h"
#include "kvwin/last_error.h"
#include "win/security.h"

using namespace kvwin;

namespace {

bool IsSelfRelative(PSECURITY_DESCRIPTOR descriptor) {
    return static_cast<const SECURITY_DESCRIPTOR*>(descriptor)->Control & SE_SELF_RELATIVE;
}

// The address of a self-relative part, or null when absent.
template <class T>
T* RelativePart(PSECURITY_DESCRIPTOR descriptor, DWORD offset) {
    return offset ? reinterpret_cast<T*>(static_cast<BYTE*>(descriptor) + offset) : nullptr;
}

SECURITY_DESCRIPTOR* Absolute(PSECURITY_DESCRIPTOR descriptor) {
    if (!descriptor) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* absolute = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
    if (absolute->Revision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(ERROR_UNKNOWN_REVISION);
        return nullptr;
    }
    if (absolute->Control & SE_SELF_RELATIVE) {
        SetLastError(ERROR_INVALID_SECURITY_DESCR);
        return nullptr;
    }
    return absolute;
}

bool CheckReadable(PSECURITY_DESCRIPTOR descriptor) {
    if (!descriptor)
        return FailWith(ERROR_INVALID_PARAMETER);
    if (static_cast<const BYTE*>(descriptor)[0] != SECURITY_DESCRIPTOR_REVISION)
        return FailWith(ERROR_UNKNOWN_REVISION);
    return true;
}

WORD AclSizeOf(const ACL* acl) {
    return acl->AclSize;
}

// The end of the ACEs in use; false when the ACL is malformed.
bool UsedLength(PACL acl, size_t& used) {
    AclValue value;
    if (!ReadAcl(acl, AclSizeOf(acl), value))
        return false;
    used = AclLength(value);
    return true;
}

}  // namespace

extern "C" {

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor, DWORD dwRevision) {
    if (!pSecurityDescriptor)
        return FailWith(ERROR_INVALID_PARAMETER);
    if (dwRevision != SECURITY_DESCRIPTOR_REVISION)
        return FailWith(ERROR_UNKNOWN_REVISION);
    std::memset(pSecurityDescriptor, 0, sizeof(SECURITY_DESCRIPTOR));
    static_cast<SECURITY_DESCRIPTOR*>(pSecurityDescriptor)->Revision = SECURITY_DESCRIPTOR_REVISION;
    return TRUE;
}

BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor) {
    try {
        DescriptorValue value;
        if (!ReadDescriptor(pSecurityDescriptor, SIZE_MAX, value))
            return FailWith(ERROR_INVALID_SECURITY_DESCR);
        return TRUE;
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

DWORD GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR pSecurityDescriptor) {
    try {
        DescriptorValue value;
        if (!ReadDescriptor(pSecurityDescriptor, SIZE_MAX, value))
            return 0;
        return static_cast<DWORD>(WriteSelfRelative(value).size());
    } catch (...) {
        return 0;
    }
}

BOOL GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                  PSECURITY_DESCRIPTOR_CONTROL pControl, LPDWORD lpdwRevision) {
    if (!pControl || !lpdwRevision)
        return FailWith(ERROR_INVALID_PARAMETER);
    if (!CheckReadable(pSecurityDescriptor))
        return FALSE;
    const auto* header = static_cast<const SECURITY_DESCRIPTOR*>(pSecurityDescriptor);
    *pControl = header->Control;
    *lpdwRevision = header->Revision;
    return TRUE;
}

namespace {

// The owner or the group of a descriptor in either form, with its defaulted bit.
BOOL ReadDescriptorSid(PSECURITY_DESCRIPTOR descriptor, bool owner, PSID* sid, LPBOOL defaulted) {
    if (!sid || !defaulted)
        return FailWith(ERROR_INVALID_PARAMETER);
    if (!CheckReadable(descriptor))
        return FALSE;
    const auto* header = static_cast<const SECURITY_DESCRIPTOR*>(descriptor);
    if (IsSelfRelative(descriptor)) {
        const auto* relative = static_cast<SECURITY_DESCRIPTOR_RELATIVE*>(descriptor);
        *sid = RelativePart<void>(descriptor, owner ? relative->Owner : relative->Group);
    } else {
        *sid = owner ? header->Owner : header->Group;
    }
    const WORD defaultedBit = owner ? SE_OWNER_DEFAULTED : SE_GROUP_DEFAULTED;
    *defaulted = (header->Control & defaultedBit) ? TRUE : FALSE;
    return TRUE;
}

}  // namespace

BOOL GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR pSecurityDescriptor, PSID* pOwner,
                                LPBOOL lpbOwnerDefaulted) {
    return ReadDescriptorSid(pSecurityDescriptor, true, pOwner, lpbOwnerDefaulted);
}

BOOL GetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR pSecurityDescriptor, PSID* pGroup,
                                LPBOOL lpbGroupDefaulted) {
    return ReadDescriptorSid(pSecurityDescriptor, false, pGroup, lpbGroupDefaulted);
}

namespace {

// The DACL or the SACL of a descriptor in either form, with its present and defaulted bits.
BOOL ReadDescriptorAcl(PSECURITY_DESCRIPTOR descriptor, bool dacl, LPBOOL present, PACL* acl,
                       LPBOOL defaulted) {
    if (!present || !acl || !defaulted)
        return FailWith(ERROR_INVALID_PARAMETER);
    if (!CheckReadable(descriptor))
        return FALSE;
    const auto* header = static_cast<const SECURITY_DESCRIPTOR*>(descriptor);
    const WORD presentBit = dacl ? SE_DACL_PRESENT : SE_SACL_PRESENT;
    const WORD defaultedBit = dacl ? SE_DACL_DEFAULTED : SE_SACL_DEFAULTED;
    *present = (header->Control & presentBit) ? TRUE : FALSE;
    *acl = nullptr;
    if (*present) {
        if (IsSelfRelative(descriptor)) {
            const auto* relative = static_cast<SECURITY_DESCRIPTOR_RELATIVE*>(descriptor);
            *acl = RelativePart<ACL>(descriptor, dacl ? relative->Dacl : relative->Sacl);
        } else {
            *acl = dacl ? header->Dacl : header->Sacl;
        }
    }
    *defaulted = (header->Control & defaultedBit) ? TRUE : FALSE;
    return TRUE;
}

}  // namespace

BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, LPBOOL lpbDaclPresent,
                               PACL* pDacl, LPBOOL lpbDaclDefaulted) {
    return ReadDescriptorAcl(pSecurityDescriptor, true, lpbDaclPresent, pDacl, lpbDaclDefaulted);
}

BOOL GetSecurityDescriptorSacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, LPBOOL lpbSaclPresent,
                               PACL* pSacl, LPBOOL lpbSaclDefaulted) {
    return ReadDescriptorAcl(pSecurityDescriptor, false, lpbSaclPresent, pSacl, lpbSaclDefaulted);
}

namespace {

// Sets the owner or the group of an absolute descriptor, with its defaulted bit.
BOOL WriteDescriptorSid(PSECURITY_DESCRIPTOR descriptor, bool owner, PSID sid, BOOL defaulted) {
    SECURITY_DESCRIPTOR* absolute = Absolute(descriptor);
    if (!absolute)
        return FALSE;
    (owner ? absolute->Owner : absolute->Group) = sid;
    const WORD defaultedBit = owner ? SE_OWNER_DEFAULTED : SE_GROUP_DEFAULTED;
    absolute->Control = static_cast<SECURITY_DESCRIPTOR_CONTROL>(
        defaulted ? absolute->Control | defaultedBit : absolute->Control & ~defaultedBit);
    return TRUE;
}

}  // namespace

BOOL SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR pSecurityDescriptor, PSID pOwner,
                                BOOL bOwnerDefaulted) {
    return WriteDescriptorSid(pSecurityDescriptor, true, pOwner, bOwnerDefaulted);
}

BOOL SetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR pSecurityDescriptor, PSID pGroup,
                                BOOL bGroupDefaulted) {
    return WriteDescriptorSid(pSecurityDescriptor, false, pGroup, bGroupDefaulted);
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, BOOL bDaclPresent,
                               PACL pDacl, BOOL bDaclDefaulted) {
    SECURITY_DESCRIPTOR* absolute = Absolute(pSecurityDescriptor);
    if (!absolute)
        return FALSE;
    WORD control = absolute->Control & ~(SE_DACL_PRESENT | SE_DACL_DEFAULTED);
    if (bDaclPresent) {
        control |= SE_DACL_PRESENT;
        if (bDaclDefaulted)
            control |= SE_DACL_DEFAULTED;
        absolute->Dacl = pDacl;
    } else {
        absolute->Dacl = nullptr;
    }
    absolute->Control = control;
    return TRUE;
}

BOOL InitializeAcl(PACL pAcl, DWORD nAclLength, DWORD dwAclRevision) {
    if (!pAcl || nAclLength < sizeof(ACL) || nAclLength > 0xFFFF || (nAclLength & 3))
        return FailWith(pAcl && nAclLength < sizeof(ACL) ? ERROR_INSUFFICIENT_BUFFER
                                                         : ERROR_INVALID_PARAMETER);
    if (dwAclRevision != ACL_REVISION && dwAclRevision != ACL_REVISION_DS)
        return FailWith(ERROR_INVALID_PARAMETER);
    std::memset(pAcl, 0, sizeof(ACL));
    pAcl->AclRevision = static_cast<BYTE>(dwAclRevision);
    pAcl->AclSize = static_cast<WORD>(nAclLength);
    return TRUE;
}

BOOL IsValidAcl(PACL pAcl) {
    try {
        AclValue value;
        return pAcl && ReadAcl(pAcl, AclSizeOf(pAcl), value) ? TRUE : FALSE;
    } catch (...) {
        return FALSE;
    }
}

BOOL AddAccessAllowedAceEx(PACL pAcl, DWORD dwAceRevision, DWORD AceFlags, DWORD AccessMask,
                           PSID pSid) {
    if (!pAcl || (AceFlags & ~(VALID_INHERIT_FLAGS)))
        return FailWith(ERROR_INVALID_PARAMETER);
    try {
        SidValue sid;
        if (!ReadSid(pSid, SIZE_MAX, sid))
            return FailWith(ERROR_INVALID_SID);
        if (dwAceRevision != ACL_REVISION && dwAceRevision != ACL_REVISION_DS)
            return FailWith(ERROR_REVISION_MISMATCH);
        size_t used = 0;
        if (!UsedLength(pAcl, used))
            return FailWith(ERROR_INVALID_ACL);
        const size_t ace_size = sizeof(ACE_HEADER) + sizeof(ACCESS_MASK) + sid.Length();
        if (used + ace_size > pAcl->AclSize)
            return FailWith(ERROR_ALLOTTED_SPACE_EXCEEDED);
        BYTE* at = reinterpret_cast<BYTE*>(pAcl) + used;
        at[0] = ACCESS_ALLOWED_ACE_TYPE;
        at[1] = static_cast<BYTE>(AceFlags);
        const WORD size = static_cast<WORD>(ace_size);
        std::memcpy(at + 2, &size, 2);
        std::memcpy(at + 4, &AccessMask, 4);
        WriteSid(sid, at + 8);
        ++pAcl->AceCount;
        return TRUE;
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL AddAccessAllowedAce(PACL pAcl, DWORD dwAceRevision, DWORD AccessMask, PSID pSid) {
    return AddAccessAllowedAceEx(pAcl, dwAceRevision, 0, AccessMask, pSid);
}

BOOL GetAce(PACL pAcl, DWORD dwAceIndex, LPVOID* pAce) {
    if (!pAcl || !pAce || dwAceIndex >= pAcl->AceCount)
        return FailWith(ERROR_INVALID_PARAMETER);
    BYTE* at = reinterpret_cast<BYTE*>(pAcl) + sizeof(ACL);
    BYTE* end = reinterpret_cast<BYTE*>(pAcl) + pAcl->AclSize;
    for (DWORD i = 0; i < dwAceIndex; ++i) {
        WORD size;
        std::memcpy(&size, at + 2, 2);
        if (size < sizeof(ACE_HEADER) || at + size > end)
            return FailWith(ERROR_INVALID_PARAMETER);
        at += size;
    }
    *pAce = at;
    return TRUE;
}

}  // extern "C"
