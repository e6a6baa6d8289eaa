// Security descriptors and ACLs as values, read from and written to their binary forms.
//
// Plain values: safe to copy between threads; nothing here holds shared state.
#pragma once

#include <optional>
#include <vector>

#include "sid_value.h"

namespace kvwin {

struct AceValue {
    BYTE type = ACCESS_ALLOWED_ACE_TYPE;
    BYTE flags = 0;
    ACCESS_MASK mask = 0;
    SidValue sid;
    bool operator==(const AceValue&) const = default;
};

struct AclValue {
    BYTE revision = ACL_REVISION;
    std::vector<AceValue> aces;
    bool operator==(const AclValue&) const = default;
};

struct DescriptorValue {
    // The control bits other than SE_SELF_RELATIVE and the two PRESENT bits, which follow
    // from the fields below.
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    std::optional<SidValue> owner;
    std::optional<SidValue> group;
    bool dacl_present = false;
    std::optional<AclValue> dacl;  // present and nullopt: a null DACL (everyone, everything)
    bool sacl_present = false;
    std::optional<AclValue> sacl;
    bool operator==(const DescriptorValue&) const = default;
};

// The ACE types this layer reads: allowed, denied, audit, alarm and mandatory label, all of
// the mask-and-SID layout.
bool IsSupportedAceType(BYTE type);

// Reads an ACL; `limit` bounds the bytes that may be read. False when malformed.
bool ReadAcl(const void* acl, size_t limit, AclValue& out);
void AppendAcl(const AclValue& acl, std::vector<BYTE>& out);
size_t AclLength(const AclValue& acl);

// Reads either form of a descriptor. False (ERROR_INVALID_SECURITY_DESCR) when malformed.
// A self-relative descriptor whose size is unknown is read with `limit` SIZE_MAX.
bool ReadDescriptor(const void* descriptor, size_t limit, DescriptorValue& out);
// The self-relative form.
std::vector<BYTE> WriteSelfRelative(const DescriptorValue& descriptor);

}  // namespace kvwin
