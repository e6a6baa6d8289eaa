#include "sddl.h"

#include <cstdio>
#include <cstring>

#include "kvwin/ascii_space.h"
#include "kvwin/hex_digit.h"
#include "kvwin/last_error.h"
#include "kvwin/utf.h"
#include "win/security.h"

namespace kvwin {

namespace {

struct Code {
    char16_t text[3];
    DWORD value;
};

// Rights that stand for a whole mask; printed only for an exact match.
constexpr Code kCompositeRights[] = {
    {u"FA", 0x001F01FF}, {u"FR", 0x00120089}, {u"FW", 0x00120116}, {u"FX", 0x001200A0},
    {u"KA", 0x000F003F}, {u"KR", 0x00020019}, {u"KW", 0x00020006}, {u"KX", 0x00020019},
};

// Rights of one bit each, in the order they are printed.
constexpr Code kBitRights[] = {
    {u"GA", GENERIC_ALL}, {u"GR", GENERIC_READ}, {u"GW", GENERIC_WRITE}, {u"GX", GENERIC_EXECUTE},
    {u"CC", 0x1},         {u"DC", 0x2},          {u"LC", 0x4},           {u"SW", 0x8},
    {u"RP", 0x10},        {u"WP", 0x20},         {u"DT", 0x40},          {u"LO", 0x80},
    {u"CR", 0x100},       {u"SD", DELETE},       {u"RC", READ_CONTROL},  {u"WD", WRITE_DAC},
    {u"WO", WRITE_OWNER},
};

// The rights of mandatory label ACEs.
constexpr Code kLabelRights[] = {
    {u"NW", SYSTEM_MANDATORY_LABEL_NO_WRITE_UP},
    {u"NR", SYSTEM_MANDATORY_LABEL_NO_READ_UP},
    {u"NX", SYSTEM_MANDATORY_LABEL_NO_EXECUTE_UP},
};

constexpr Code kAceFlags[] = {
    {u"OI", OBJECT_INHERIT_ACE},
    {u"CI", CONTAINER_INHERIT_ACE},
    {u"NP", NO_PROPAGATE_INHERIT_ACE},
    {u"IO", INHERIT_ONLY_ACE},
    {u"ID", INHERITED_ACE},
    {u"SA", SUCCESSFUL_ACCESS_ACE_FLAG},
    {u"FA", FAILED_ACCESS_ACE_FLAG},
};

struct AceType {
    const char16_t* text;
    BYTE type;
    bool in_dacl;
};

constexpr AceType kAceTypes[] = {
    {u"A", ACCESS_ALLOWED_ACE_TYPE, true},           {u"D", ACCESS_DENIED_ACE_TYPE, true},
    {u"AU", SYSTEM_AUDIT_ACE_TYPE, false},           {u"AL", SYSTEM_ALARM_ACE_TYPE, false},
    {u"ML", SYSTEM_MANDATORY_LABEL_ACE_TYPE, false},
};

bool IsComponentStart(std::u16string_view text, size_t at) {
    if (at + 1 >= text.size() || text[at + 1] != u':')
        return false;
    const char16_t c = text[at];
    return c == u'O' || c == u'G' || c == u'D' || c == u'S';
}

template <size_t N>
bool LookupCode(std::u16string_view pair, const Code (&table)[N], DWORD& value) {
    for (const Code& code : table) {
        if (pair == std::u16string_view(code.text, 2)) {
            value |= code.value;
            return true;
        }
    }
    return false;
}

// ACE flags: two-letter codes concatenated ("OICI"); false for any unknown pair.
bool ParseFlags(std::u16string_view text, DWORD& value) {
    value = 0;
    if (text.size() % 2)
        return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        if (!LookupCode(text.substr(i, 2), kAceFlags, value))
            return false;
    }
    return true;
}

bool ParseRights(std::u16string_view text, DWORD& mask) {
    if (text.empty()) {
        mask = 0;
        return true;
    }
    if (text[0] >= u'0' && text[0] <= u'9') {
        // A number: hex after 0x, octal after a leading 0, else decimal.
        int base = 10;
        if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
            base = 16;
            text.remove_prefix(2);
        } else if (text.size() > 1 && text[0] == u'0') {
            base = 8;
            text.remove_prefix(1);
        }
        uint64_t value = 0;
        for (char16_t c : text) {
            const int digit = kvwin::HexDigitValue(c);
            if (digit < 0 || digit >= base)
                return false;
            value = value * base + digit;
            if (value > 0xFFFFFFFFull)
                return false;
        }
        mask = static_cast<DWORD>(value);
        return true;
    }
    // Codes: "FA", or single rights concatenated ("GRGX").
    if (text.size() % 2)
        return false;
    mask = 0;
    for (size_t i = 0; i < text.size(); i += 2) {
        const std::u16string_view pair = text.substr(i, 2);
        if (!LookupCode(pair, kCompositeRights, mask) && !LookupCode(pair, kBitRights, mask) &&
            !LookupCode(pair, kLabelRights, mask)) {
            return false;
        }
    }
    return true;
}

// One "(type;flags;rights;guid;guid;sid)" body, without the parentheses.
DWORD ParseAce(std::u16string_view body, bool in_dacl, AceValue& ace) {
    std::u16string_view fields[6];
    size_t count = 0;
    while (true) {
        const size_t semicolon = body.find(u';');
        if (count == 6)
            return ERROR_INVALID_ACL;  // more fields than an ACE of these types has
        fields[count++] = kvwin::TrimAsciiSpace(body.substr(0, semicolon));
        if (semicolon == std::u16string_view::npos)
            break;
        body.remove_prefix(semicolon + 1);
    }
    if (count != 6)
        return ERROR_INVALID_ACL;
    const AceType* type = nullptr;
    for (const auto& candidate : kAceTypes) {
        if (fields[0] == candidate.text)
            type = &candidate;
    }
    if (!type || type->in_dacl != in_dacl)
        return ERROR_INVALID_ACL;
    ace.type = type->type;
    DWORD flags = 0;
    if (!ParseFlags(fields[1], flags))
        return ERROR_INVALID_ACL;
    ace.flags = static_cast<BYTE>(flags);
    if (!ParseRights(fields[2], ace.mask))
        return ERROR_INVALID_ACL;
    if (!fields[3].empty() || !fields[4].empty())
        return ERROR_INVALID_ACL;  // object GUIDs belong to object ACEs only
    if (!ParseSidText(fields[5], ace.sid))
        return ERROR_INVALID_ACL;
    return ERROR_SUCCESS;
}

// The flags and ACEs of a D: or S: component, from `at` up to the next component.
DWORD ParseAcl(std::u16string_view text, size_t& at, bool dacl, DescriptorValue& out) {
    WORD control = 0;
    bool null_acl = false;
    while (at < text.size() && text[at] != u'(' && !IsComponentStart(text, at)) {
        const std::u16string_view rest = text.substr(at);
        if (rest.substr(0, 17) == u"NO_ACCESS_CONTROL") {
            null_acl = true;
            at += 17;
        } else if (rest.substr(0, 2) == u"AI") {
            control |= dacl ? SE_DACL_AUTO_INHERITED : SE_SACL_AUTO_INHERITED;
            at += 2;
        } else if (rest.substr(0, 2) == u"AR") {
            control |= dacl ? SE_DACL_AUTO_INHERIT_REQ : SE_SACL_AUTO_INHERIT_REQ;
            at += 2;
        } else if (rest[0] == u'P') {
            control |= dacl ? SE_DACL_PROTECTED : SE_SACL_PROTECTED;
            at += 1;
        } else if (kvwin::IsAsciiSpace(rest[0])) {
            at += 1;
        } else {
            return ERROR_INVALID_ACL;
        }
    }
    AclValue acl;
    while (at < text.size()) {
        while (at < text.size() && kvwin::IsAsciiSpace(text[at]))
            ++at;
        if (at >= text.size() || text[at] != u'(')
            break;
        const size_t close = text.find(u')', at);
        if (close == std::u16string_view::npos)
            return ERROR_INVALID_PARAMETER;
        if (null_acl)
            return ERROR_INVALID_ACL;  // a null ACL has no entries
        AceValue ace;
        const DWORD error = ParseAce(text.substr(at + 1, close - at - 1), dacl, ace);
        if (error)
            return error;
        acl.aces.push_back(std::move(ace));
        at = close + 1;
    }
    out.control |= control;
    if (dacl) {
        out.dacl_present = true;
        if (!null_acl)
            out.dacl = std::move(acl);
    } else {
        out.sacl_present = true;
        if (!null_acl)
            out.sacl = std::move(acl);
    }
    return ERROR_SUCCESS;
}

void AppendCodes(std::u16string& out, DWORD value, const Code* codes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (value & codes[i].value)
            out.append(codes[i].text, 2);
    }
}

std::u16string RightsText(const AceValue& ace) {
    if (ace.type == SYSTEM_MANDATORY_LABEL_ACE_TYPE) {
        DWORD covered = 0;
        for (const Code& code : kLabelRights)
            covered |= code.value;
        if (ace.mask && (ace.mask & ~covered) == 0) {
            std::u16string out;
            AppendCodes(out, ace.mask, kLabelRights, std::size(kLabelRights));
            return out;
        }
    } else if (ace.mask) {
        for (const Code& code : kCompositeRights) {
            if (ace.mask == code.value)
                return std::u16string(code.text, 2);
        }
        DWORD covered = 0;
        for (const Code& code : kBitRights)
            covered |= code.value;
        if ((ace.mask & ~covered) == 0) {
            std::u16string out;
            AppendCodes(out, ace.mask, kBitRights, std::size(kBitRights));
            return out;
        }
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%x", ace.mask);
    return FromUtf8(hex);
}

void AppendAclText(std::u16string& out, const DescriptorValue& descriptor, bool dacl,
                   bool labels_only) {
    const WORD control = descriptor.control;
    out += dacl ? u"D:" : u"S:";
    if (control & (dacl ? SE_DACL_PROTECTED : SE_SACL_PROTECTED))
        out += u"P";
    if (control & (dacl ? SE_DACL_AUTO_INHERIT_REQ : SE_SACL_AUTO_INHERIT_REQ))
        out += u"AR";
    if (control & (dacl ? SE_DACL_AUTO_INHERITED : SE_SACL_AUTO_INHERITED))
        out += u"AI";
    const std::optional<AclValue>& acl = dacl ? descriptor.dacl : descriptor.sacl;
    if (!acl) {
        out += u"NO_ACCESS_CONTROL";
        return;
    }
    for (const AceValue& ace : acl->aces) {
        if (labels_only && ace.type != SYSTEM_MANDATORY_LABEL_ACE_TYPE)
            continue;
        out += u"(";
        for (const auto& type : kAceTypes) {
            if (type.type == ace.type)
                out += type.text;
        }
        out += u";";
        AppendCodes(out, ace.flags, kAceFlags, std::size(kAceFlags));
        out += u";";
        out += RightsText(ace);
        out += u";;;";
        out += SddlSidText(ace.sid);
        out += u")";
    }
}

}  // namespace

DWORD ParseSddl(std::u16string_view text, DescriptorValue& out) {
    out = DescriptorValue{};
    bool seen[4] = {};
    size_t at = 0;
    while (true) {
        while (at < text.size() && kvwin::IsAsciiSpace(text[at]))
            ++at;
        if (at >= text.size())
            return ERROR_SUCCESS;
        if (!IsComponentStart(text, at))
            return ERROR_INVALID_PARAMETER;
        const char16_t component = text[at];
        const int index = component == u'O' ? 0 : component == u'G' ? 1 : component == u'D' ? 2 : 3;
        if (seen[index])
            return ERROR_INVALID_PARAMETER;
        seen[index] = true;
        at += 2;
        if (component == u'O' || component == u'G') {
            // The SID runs up to the letter in front of the next ':'.
            size_t end = text.size();
            const size_t colon = text.find(u':', at);
            if (colon != std::u16string_view::npos) {
                if (colon == 0 || colon - 1 < at)
                    return ERROR_INVALID_PARAMETER;
                end = colon - 1;
            }
            SidValue sid;
            if (!ParseSidText(kvwin::TrimAsciiSpace(text.substr(at, end - at)), sid))
                return ERROR_INVALID_SID;
            (component == u'O' ? out.owner : out.group) = std::move(sid);
            at = end;
        } else {
            const DWORD error = ParseAcl(text, at, component == u'D', out);
            if (error)
                return error;
        }
    }
}

std::u16string PrintSddl(const DescriptorValue& descriptor, SECURITY_INFORMATION information) {
    std::u16string out;
    if ((information & OWNER_SECURITY_INFORMATION) && descriptor.owner)
        out += u"O:" + SddlSidText(*descriptor.owner);
    if ((information & GROUP_SECURITY_INFORMATION) && descriptor.group)
        out += u"G:" + SddlSidText(*descriptor.group);
    if ((information & DACL_SECURITY_INFORMATION) && descriptor.dacl_present)
        AppendAclText(out, descriptor, true, false);
    if ((information & (SACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION)) &&
        descriptor.sacl_present) {
        AppendAclText(out, descriptor, false, !(information & SACL_SECURITY_INFORMATION));
    }
    return out;
}

}  // namespace kvwin

using namespace kvwin;

extern "C" {

BOOL ConvertStringSecurityDescriptorToSecurityDescriptorW(LPCWSTR StringSecurityDescriptor,
                                                          DWORD StringSDRevision,
                                                          PSECURITY_DESCRIPTOR* SecurityDescriptor,
                                                          PULONG SecurityDescriptorSize) {
    if (!StringSecurityDescriptor || !SecurityDescriptor)
        return FailWith(ERROR_INVALID_PARAMETER);
    if (StringSDRevision != SDDL_REVISION_1)
        return FailWith(ERROR_UNKNOWN_REVISION);
    try {
        DescriptorValue descriptor;
        const DWORD error = ParseSddl(WideView(StringSecurityDescriptor), descriptor);
        if (error)
            return FailWith(error);
        const std::vector<BYTE> bytes = WriteSelfRelative(descriptor);
        void* memory = LocalAlloc(LMEM_FIXED, bytes.size());
        if (!memory)
            return FALSE;
        std::memcpy(memory, bytes.data(), bytes.size());
        *SecurityDescriptor = memory;
        if (SecurityDescriptorSize)
            *SecurityDescriptorSize = static_cast<ULONG>(bytes.size());
        return TRUE;
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL ConvertSecurityDescriptorToStringSecurityDescriptorW(PSECURITY_DESCRIPTOR SecurityDescriptor,
                                                          DWORD RequestedStringSDRevision,
                                                          SECURITY_INFORMATION SecurityInformation,
                                                          LPWSTR* StringSecurityDescriptor,
                                                          PULONG StringSecurityDescriptorLen) {
    if (!SecurityDescriptor || !StringSecurityDescriptor)
        return FailWith(ERROR_INVALID_PARAMETER);
    if (RequestedStringSDRevision != SDDL_REVISION_1)
        return FailWith(ERROR_UNKNOWN_REVISION);
    try {
        DescriptorValue descriptor;
        if (!ReadDescriptor(SecurityDescriptor, SIZE_MAX, descriptor))
            return FailWith(ERROR_INVALID_SECURITY_DESCR);
        const std::u16string text = PrintSddl(descriptor, SecurityInformation);
        auto* memory =
            static_cast<LPWSTR>(LocalAlloc(LMEM_FIXED, (text.size() + 1) * sizeof(WCHAR)));
        if (!memory)
            return FALSE;
        std::memcpy(memory, text.data(), text.size() * sizeof(WCHAR));
        memory[text.size()] = u'\0';
        *StringSecurityDescriptor = memory;
        if (StringSecurityDescriptorLen)
            *StringSecurityDescriptorLen = static_cast<ULONG>(text.size() + 1);
        return TRUE;
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

}  // extern "C"
