#include "descriptor_model.h"

#include <cstddef>
#include <cstring>

namespace kvwin {

namespace {

WORD ReadWord(const BYTE* p) {
    WORD value;
    std::memcpy(&value, p, 2);
    return value;
}

DWORD ReadDword(const BYTE* p) {
    DWORD value;
    std::memcpy(&value, p, 4);
    return value;
}

void PutWord(std::vector<BYTE>& out, size_t at, WORD value) {
    std::memcpy(out.data() + at, &value, 2);
}

void PutDword(std::vector<BYTE>& out, size_t at, DWORD value) {
    std::memcpy(out.data() + at, &value, 4);
}

constexpr size_t kAclHeader = sizeof(ACL);
constexpr size_t kAceFixed = sizeof(ACE_HEADER) + sizeof(ACCESS_MASK);

bool ReadPart(const void* base, size_t limit, DWORD offset, size_t& room) {
    if (offset < sizeof(SECURITY_DESCRIPTOR_RELATIVE) || offset >= limit || !base)
        return false;
    room = limit - offset;
    return true;
}

}  // namespace

bool IsSupportedAceType(BYTE type) {
    return type == ACCESS_ALLOWED_ACE_TYPE || type == ACCESS_DENIED_ACE_TYPE ||
           type == SYSTEM_AUDIT_ACE_TYPE || type == SYSTEM_ALARM_ACE_TYPE ||
           type == SYSTEM_MANDATORY_LABEL_ACE_TYPE;
}

bool ReadAcl(const void* acl, size_t limit, AclValue& out) {
    if (!acl || limit < kAclHeader)
        return false;
    const auto* bytes = static_cast<const BYTE*>(acl);
    const BYTE revision = bytes[0];
    const WORD size = ReadWord(bytes + 2);
    const WORD count = ReadWord(bytes + 4);
    if ((revision != ACL_REVISION && revision != ACL_REVISION_DS) || size < kAclHeader ||
        size > limit) {
        return false;
    }
    out.revision = revision;
    out.aces.clear();
    size_t at = kAclHeader;
    for (WORD i = 0; i < count; ++i) {
        if (at + sizeof(ACE_HEADER) > size)
            return false;
        const BYTE type = bytes[at];
        const WORD ace_size = ReadWord(bytes + at + 2);
        if (ace_size < kAceFixed + 8 || at + ace_size > size || !IsSupportedAceType(type))
            return false;
        AceValue ace;
        ace.type = type;
        ace.flags = bytes[at + 1];
        ace.mask = ReadDword(bytes + at + 4);
        if (!ReadSid(bytes + at + kAceFixed, ace_size - kAceFixed, ace.sid))
            return false;
        out.aces.push_back(std::move(ace));
        at += ace_size;
    }
    return true;
}

size_t AclLength(const AclValue& acl) {
    size_t length = kAclHeader;
    for (const auto& ace : acl.aces)
        length += kAceFixed + ace.sid.Length();
    return length;
}

void AppendAcl(const AclValue& acl, std::vector<BYTE>& out) {
    const size_t start = out.size();
    out.resize(start + kAclHeader, 0);
    out[start] = acl.revision;
    PutWord(out, start + 2, static_cast<WORD>(AclLength(acl)));
    PutWord(out, start + 4, static_cast<WORD>(acl.aces.size()));
    for (const auto& ace : acl.aces) {
        const size_t at = out.size();
        out.resize(at + kAceFixed, 0);
        out[at] = ace.type;
        out[at + 1] = ace.flags;
        PutWord(out, at + 2, static_cast<WORD>(kAceFixed + ace.sid.Length()));
        PutDword(out, at + 4, ace.mask);
        AppendSid(ace.sid, out);
    }
}

bool ReadDescriptor(const void* descriptor, size_t limit, DescriptorValue& out) {
    if (!descriptor || limit < sizeof(SECURITY_DESCRIPTOR_RELATIVE))
        return false;
    const auto* bytes = static_cast<const BYTE*>(descriptor);
    if (bytes[0] != SECURITY_DESCRIPTOR_REVISION)
        return false;
    const SECURITY_DESCRIPTOR_CONTROL control = ReadWord(bytes + 2);
    out = DescriptorValue{};
    out.control = control & ~(SE_SELF_RELATIVE | SE_DACL_PRESENT | SE_SACL_PRESENT);
    out.dacl_present = control & SE_DACL_PRESENT;
    out.sacl_present = control & SE_SACL_PRESENT;

    if (control & SE_SELF_RELATIVE) {
        const auto* header = static_cast<const SECURITY_DESCRIPTOR_RELATIVE*>(descriptor);
        size_t room = 0;
        if (header->Owner) {
            SidValue sid;
            if (!ReadPart(bytes, limit, header->Owner, room) ||
                !ReadSid(bytes + header->Owner, room, sid))
                return false;
            out.owner = std::move(sid);
        }
        if (header->Group) {
            SidValue sid;
            if (!ReadPart(bytes, limit, header->Group, room) ||
                !ReadSid(bytes + header->Group, room, sid))
                return false;
            out.group = std::move(sid);
        }
        if (out.dacl_present && header->Dacl) {
            AclValue acl;
            if (!ReadPart(bytes, limit, header->Dacl, room) ||
                !ReadAcl(bytes + header->Dacl, room, acl))
                return false;
            out.dacl = std::move(acl);
        }
        if (out.sacl_present && header->Sacl) {
            AclValue acl;
            if (!ReadPart(bytes, limit, header->Sacl, room) ||
                !ReadAcl(bytes + header->Sacl, room, acl))
                return false;
            out.sacl = std::move(acl);
        }
        return true;
    }

    // The absolute form: the parts are wherever the caller put them.
    if (limit < sizeof(SECURITY_DESCRIPTOR))
        return false;
    const auto* absolute = static_cast<const SECURITY_DESCRIPTOR*>(descriptor);
    if (absolute->Owner) {
        SidValue sid;
        if (!ReadSid(absolute->Owner, SIZE_MAX, sid))
            return false;
        out.owner = std::move(sid);
    }
    if (absolute->Group) {
        SidValue sid;
        if (!ReadSid(absolute->Group, SIZE_MAX, sid))
            return false;
        out.group = std::move(sid);
    }
    if (out.dacl_present && absolute->Dacl) {
        AclValue acl;
        if (!ReadAcl(absolute->Dacl, ReadWord(reinterpret_cast<const BYTE*>(absolute->Dacl) + 2),
                     acl))
            return false;
        out.dacl = std::move(acl);
    }
    if (out.sacl_present && absolute->Sacl) {
        AclValue acl;
        if (!ReadAcl(absolute->Sacl, ReadWord(reinterpret_cast<const BYTE*>(absolute->Sacl) + 2),
                     acl))
            return false;
        out.sacl = std::move(acl);
    }
    return true;
}

std::vector<BYTE> WriteSelfRelative(const DescriptorValue& descriptor) {
    std::vector<BYTE> out(sizeof(SECURITY_DESCRIPTOR_RELATIVE), 0);
    SECURITY_DESCRIPTOR_CONTROL control = descriptor.control | SE_SELF_RELATIVE;
    if (descriptor.dacl_present)
        control |= SE_DACL_PRESENT;
    if (descriptor.sacl_present)
        control |= SE_SACL_PRESENT;
    out[0] = SECURITY_DESCRIPTOR_REVISION;
    PutWord(out, 2, control);
    // The parts follow the header: SACL, DACL, owner, group.
    if (descriptor.sacl_present && descriptor.sacl) {
        PutDword(out, offsetof(SECURITY_DESCRIPTOR_RELATIVE, Sacl), static_cast<DWORD>(out.size()));
        AppendAcl(*descriptor.sacl, out);
    }
    if (descriptor.dacl_present && descriptor.dacl) {
        PutDword(out, offsetof(SECURITY_DESCRIPTOR_RELATIVE, Dacl), static_cast<DWORD>(out.size()));
        AppendAcl(*descriptor.dacl, out);
    }
    if (descriptor.owner) {
        PutDword(out, offsetof(SECURITY_DESCRIPTOR_RELATIVE, Owner),
                 static_cast<DWORD>(out.size()));
        AppendSid(*descriptor.owner, out);
    }
    if (descriptor.group) {
        PutDword(out, offsetof(SECURITY_DESCRIPTOR_RELATIVE, Group),
                 static_cast<DWORD>(out.size()));
        AppendSid(*descriptor.group, out);
    }
    return out;
}

}  // namespace kvwin
