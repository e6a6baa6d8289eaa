// SIDs and descriptors in text and binary form: conversions both ways, the well-known SIDs,
// descriptors built by hand, and the texts Windows refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvwin/utf.h"
#include "win/files.h"
#include "win/security.h"

namespace {

std::string Narrow(const std::u16string& text) {
    return kvwin::ToUtf8(text);
}

// A descriptor converted from text, freed with LocalFree.
struct Descriptor {
    PSECURITY_DESCRIPTOR sd = nullptr;
    ULONG size = 0;
    DWORD error = 0;
    explicit Descriptor(const char16_t* text) {
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(text, SDDL_REVISION_1, &sd,
                                                                  &size)) {
            error = GetLastError();
        }
    }
    ~Descriptor() { EXPECT_EQ(LocalFree(sd), nullptr); }
};

std::u16string Print(PSECURITY_DESCRIPTOR sd, SECURITY_INFORMATION information) {
    LPWSTR text = nullptr;
    ULONG length = 0;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(sd, SDDL_REVISION_1, information,
                                                              &text, &length)) {
        ADD_FAILURE() << "printing failed with " << GetLastError();
        return u"";
    }
    std::u16string result(text);
    EXPECT_EQ(length, result.size() + 1) << "the length counts the terminator";
    LocalFree(text);
    return result;
}

constexpr SECURITY_INFORMATION kAll = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                      DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION;

TEST(Sddl, DescriptorsTheLibraryUsesPrintBackAsWritten) {
    const char16_t* const texts[] = {
        u"D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x100026;;;BU)",
        u"D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1201bf;;;BU)",
        u"D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1201ff;;;BU)S:(ML;;NW;;;LW)",
        u"D:AI(A;ID;FA;;;BA)(A;ID;FA;;;SY)(A;ID;0x1201ff;;;BU)S:(ML;;NW;;;LW)",
        u"O:S-1-22-1-1000G:S-1-22-2-1000D:(D;CIIO;GA;;;S-1-5-21-1-2-3-500)(A;;GRGX;;;AU)",
        u"O:SYG:SYD:PARAI(A;;FR;;;WD)(A;;FX;;;CO)(A;;KA;;;SY)(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;BA)",
        u"D:NO_ACCESS_CONTROL",
        u"D:",
        u"S:(AU;SAFA;FW;;;WD)(ML;OICI;NWNRNX;;;HI)",
        u"D:(A;;0x1200a9;;;ME)(A;;0x1200a9;;;SI)(A;;0x1200a9;;;S-1-0x123456789ABC-7)",
    };
    for (const char16_t* text : texts) {
        SCOPED_TRACE(Narrow(text));
        Descriptor descriptor(text);
        ASSERT_NE(descriptor.sd, nullptr) << "error " << descriptor.error;
        EXPECT_TRUE(IsValidSecurityDescriptor(descriptor.sd));
        EXPECT_EQ(GetSecurityDescriptorLength(descriptor.sd), descriptor.size);
        EXPECT_EQ(Print(descriptor.sd, kAll), text);
    }
}

TEST(Sddl, EquivalentSpellingsPrintInTheOneCanonicalForm) {
    struct Case {
        const char16_t* in;
        const char16_t* out;
    } cases[] = {
        {u"O:BAD:P(A;;0x101FFFFF;;;WD)", u"O:BAD:P(A;;0x101fffff;;;WD)"},
        {u"O:BA G:SY  D:(A;;GA;;;WD)", u"O:BAG:SYD:(A;;GA;;;WD)"},
        {u"D:(A;;1179817;;;s-1-5-18)", u"D:(A;;0x1200a9;;;SY)"},  // decimal rights, lower s
        {u"D:(A;;0x1F01FF;;;S-1-1-0)", u"D:(A;;FA;;;WD)"},
        {u"D:(A;;KX;;;WD)", u"D:(A;;KR;;;WD)"},              // the same mask has two names
        {u"D:(A;CIOI;GXGR;;;WD)", u"D:(A;OICI;GRGX;;;WD)"},  // codes in canonical order
        {u"D:AIP(A;;GA;;;wd)", u"D:PAI(A;;GA;;;WD)"},
        {u"S:(ML;;NW;;;S-1-16-4096)D:(A;;GA;;;BU)", u"D:(A;;GA;;;BU)S:(ML;;NW;;;LW)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.in));
        Descriptor descriptor(c.in);
        ASSERT_NE(descriptor.sd, nullptr) << "error " << descriptor.error;
        EXPECT_EQ(Print(descriptor.sd, kAll), c.out);
    }
}

TEST(Sddl, TheInformationFlagsChooseTheParts) {
    Descriptor descriptor(u"O:BAG:SYD:P(A;;GA;;;WD)S:(AU;SA;FA;;;WD)(ML;;NW;;;LW)");
    ASSERT_NE(descriptor.sd, nullptr);
    EXPECT_EQ(Print(descriptor.sd, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION),
              u"O:BAD:P(A;;GA;;;WD)");
    EXPECT_EQ(Print(descriptor.sd, LABEL_SECURITY_INFORMATION), u"S:(ML;;NW;;;LW)");
    EXPECT_EQ(Print(descriptor.sd, SACL_SECURITY_INFORMATION), u"S:(AU;SA;FA;;;WD)(ML;;NW;;;LW)");
    EXPECT_EQ(Print(descriptor.sd, 0), u"");

    Descriptor owner_only(u"O:SY");
    EXPECT_EQ(Print(owner_only.sd, kAll), u"O:SY") << "absent parts are left out";
}

TEST(Sddl, TheBinaryFormHoldsWhatTheTextSays) {
    Descriptor descriptor(u"O:BAD:P(A;OICI;0x101FFFFF;;;WD)");
    ASSERT_NE(descriptor.sd, nullptr);

    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor.sd, &control, &revision));
    EXPECT_EQ(revision, 1u);
    EXPECT_EQ(control, SE_SELF_RELATIVE | SE_DACL_PRESENT | SE_DACL_PROTECTED);

    PSID owner = nullptr;
    BOOL defaulted = TRUE;
    ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor.sd, &owner, &defaulted));
    EXPECT_TRUE(IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
    EXPECT_FALSE(defaulted);
    PSID group = reinterpret_cast<PSID>(1);
    ASSERT_TRUE(GetSecurityDescriptorGroup(descriptor.sd, &group, &defaulted));
    EXPECT_EQ(group, nullptr);

    BOOL present = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.sd, &present, &dacl, &defaulted));
    ASSERT_TRUE(present);
    ASSERT_NE(dacl, nullptr);
    EXPECT_EQ(dacl->AclRevision, ACL_REVISION);
    EXPECT_EQ(dacl->AceCount, 1);
    EXPECT_EQ(dacl->AclSize, sizeof(ACL) + 8 + 12);
    void* raw = nullptr;
    ASSERT_TRUE(GetAce(dacl, 0, &raw));
    const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(raw);
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    EXPECT_EQ(ace->Mask, 0x101FFFFFu);
    EXPECT_TRUE(IsWellKnownSid(const_cast<DWORD*>(&ace->SidStart), WinWorldSid));
    EXPECT_FALSE(GetAce(dacl, 1, &raw));

    ASSERT_TRUE(GetSecurityDescriptorSacl(descriptor.sd, &present, &dacl, &defaulted));
    EXPECT_FALSE(present);
}

TEST(Sddl, MalformedTextIsRefusedWithTheErrorOfThePartAtFault) {
    struct Case {
        const char16_t* text;
        DWORD error;
    } cases[] = {
        {u"X:BA", ERROR_INVALID_PARAMETER},
        {u"O:BAO:SY", ERROR_INVALID_PARAMETER},
        {u"BA", ERROR_INVALID_PARAMETER},
        {u"D:(A;;GA;;;WD", ERROR_INVALID_PARAMETER},
        {u"D:(A;;GA;;;WD)junk", ERROR_INVALID_PARAMETER},
        {u"O:XX", ERROR_INVALID_SID},
        {u"O:S-1-5-", ERROR_INVALID_SID},
        {u"G:", ERROR_INVALID_SID},
        {u"D:(Q;;GA;;;WD)", ERROR_INVALID_ACL},
        {u"D:(A;XX;GA;;;WD)", ERROR_INVALID_ACL},
        {u"D:(A;;ZZ;;;WD)", ERROR_INVALID_ACL},
        {u"D:(A;;0xZ1;;;WD)", ERROR_INVALID_ACL},
        {u"D:(A;;0x100000000;;;WD)", ERROR_INVALID_ACL},
        {u"D:(A;;GA;;;QQ)", ERROR_INVALID_ACL},
        {u"D:(A;;GA;;;WD;x)", ERROR_INVALID_ACL},
        {u"D:(A;;GA;;WD)", ERROR_INVALID_ACL},
        {u"D:(A;;GA;00000000-0000-0000-0000-000000000000;;WD)", ERROR_INVALID_ACL},
        {u"D:(OA;;GA;;;WD)", ERROR_INVALID_ACL},
        {u"D:(AU;SA;GA;;;WD)", ERROR_INVALID_ACL},
        {u"S:(A;;GA;;;WD)", ERROR_INVALID_ACL},
        {u"D:NO_ACCESS_CONTROL(A;;GA;;;WD)", ERROR_INVALID_ACL},
        {u"D:Q(A;;GA;;;WD)", ERROR_INVALID_ACL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.text));
        PSECURITY_DESCRIPTOR sd = reinterpret_cast<PSECURITY_DESCRIPTOR>(0x1234);
        SetLastError(0);
        EXPECT_FALSE(ConvertStringSecurityDescriptorToSecurityDescriptorW(c.text, SDDL_REVISION_1,
                                                                          &sd, nullptr));
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(sd, reinterpret_cast<PSECURITY_DESCRIPTOR>(0x1234)) << "nothing handed out";
    }
    PSECURITY_DESCRIPTOR sd = nullptr;
    EXPECT_FALSE(ConvertStringSecurityDescriptorToSecurityDescriptorW(nullptr, 1, &sd, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(ConvertStringSecurityDescriptorToSecurityDescriptorW(u"D:", 2, &sd, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_REVISION));
}

TEST(Sddl, HandBuiltAbsoluteDescriptorsPrintAndValidate) {
    SECURITY_DESCRIPTOR sd;
    ASSERT_FALSE(InitializeSecurityDescriptor(&sd, 2));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_REVISION));
    ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
    EXPECT_EQ(Print(&sd, kAll), u"");

    // A null DACL: everyone may do everything (the log mutex is created with one).
    ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE));
    EXPECT_TRUE(IsValidSecurityDescriptor(&sd));
    EXPECT_EQ(Print(&sd, kAll), u"D:NO_ACCESS_CONTROL");

    BYTE system_sid[SECURITY_MAX_SID_SIZE];
    BYTE world_sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof system_sid;
    ASSERT_TRUE(CreateWellKnownSid(WinLocalSystemSid, nullptr, system_sid, &size));
    size = sizeof world_sid;
    ASSERT_TRUE(CreateWellKnownSid(WinWorldSid, nullptr, world_sid, &size));

    alignas(4) BYTE acl_bytes[sizeof(ACL) + 2 * 20];
    auto* acl = reinterpret_cast<PACL>(acl_bytes);
    ASSERT_TRUE(InitializeAcl(acl, sizeof(ACL) + 20, ACL_REVISION));
    ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, world_sid));
    EXPECT_FALSE(AddAccessAllowedAce(acl, ACL_REVISION, FILE_GENERIC_READ, system_sid));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALLOTTED_SPACE_EXCEEDED));
    EXPECT_TRUE(IsValidAcl(acl));

    // Owner and group each keep their own defaulted bit.
    ASSERT_TRUE(SetSecurityDescriptorOwner(&sd, system_sid, FALSE));
    ASSERT_TRUE(SetSecurityDescriptorGroup(&sd, world_sid, TRUE));
    PSID read = nullptr;
    BOOL defaulted = TRUE;
    ASSERT_TRUE(GetSecurityDescriptorOwner(&sd, &read, &defaulted));
    EXPECT_EQ(read, system_sid);
    EXPECT_FALSE(defaulted);
    ASSERT_TRUE(GetSecurityDescriptorGroup(&sd, &read, &defaulted));
    EXPECT_EQ(read, world_sid);
    EXPECT_TRUE(defaulted);
    ASSERT_TRUE(SetSecurityDescriptorGroup(&sd, nullptr, FALSE));
    ASSERT_TRUE(GetSecurityDescriptorGroup(&sd, &read, &defaulted));
    EXPECT_EQ(read, nullptr);
    EXPECT_FALSE(defaulted);
    ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE));
    EXPECT_EQ(Print(&sd, kAll), u"O:SYD:(A;;FA;;;WD)");
    EXPECT_EQ(GetSecurityDescriptorLength(&sd), sizeof(SECURITY_DESCRIPTOR_RELATIVE) + 8 + 20 + 12);

    // A corrupt ACL makes the descriptor invalid.
    acl->AceCount = 2;
    EXPECT_FALSE(IsValidAcl(acl));
    EXPECT_FALSE(IsValidSecurityDescriptor(&sd));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SECURITY_DESCR));

    // The setters refuse self-relative descriptors.
    Descriptor relative(u"D:");
    EXPECT_FALSE(SetSecurityDescriptorDacl(relative.sd, TRUE, nullptr, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SECURITY_DESCR));
    EXPECT_FALSE(SetSecurityDescriptorGroup(relative.sd, world_sid, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SECURITY_DESCR));
}

TEST(Sids, TextFormsConvertBothWays) {
    const char16_t* const texts[] = {
        u"S-1-5-18",
        u"S-1-5-32-544",
        u"S-1-1-0",
        u"S-1-16-12288",
        u"S-1-22-1-65534",
        u"S-1-5-21-3623811015-3361044348-30300820-1013",
        u"S-1-0x123456789ABC-1",
        u"S-1-5",
    };
    for (const char16_t* text : texts) {
        SCOPED_TRACE(Narrow(text));
        PSID sid = nullptr;
        ASSERT_TRUE(ConvertStringSidToSidW(text, &sid));
        EXPECT_TRUE(IsValidSid(sid));
        LPWSTR back = nullptr;
        ASSERT_TRUE(ConvertSidToStringSidW(sid, &back));
        EXPECT_EQ(std::u16string(back), text);
        LocalFree(back);
        LocalFree(sid);
    }

    // Abbreviations and a lower-case S are accepted; they print in the S- form.
    PSID sid = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(u"BU", &sid));
    EXPECT_TRUE(IsWellKnownSid(sid, WinBuiltinUsersSid));
    LocalFree(sid);
    ASSERT_TRUE(ConvertStringSidToSidW(u"s-1-5-11", &sid));
    EXPECT_TRUE(IsWellKnownSid(sid, WinAuthenticatedUserSid));
    LocalFree(sid);

    for (const char16_t* bad :
         {u"", u"S-1", u"S-1-", u"S-2-5-18", u"S-1-5-x", u"S-1-5--1", u"S-1-5-4294967296",
          u"S-1-1-1-1-1-1-1-1-1-1-1-1-1-1-1-1-1-1", u"XY"}) {
        SCOPED_TRACE(Narrow(bad));
        sid = nullptr;
        EXPECT_FALSE(ConvertStringSidToSidW(bad, &sid));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SID));
        EXPECT_EQ(sid, nullptr);
    }
}

TEST(Sids, WellKnownSidsHaveTheirWindowsValuesAndSizes) {
    struct Case {
        WELL_KNOWN_SID_TYPE type;
        const char16_t* text;
    } cases[] = {
        {WinLocalSystemSid, u"S-1-5-18"},       {WinBuiltinAdministratorsSid, u"S-1-5-32-544"},
        {WinBuiltinUsersSid, u"S-1-5-32-545"},  {WinWorldSid, u"S-1-1-0"},
        {WinAuthenticatedUserSid, u"S-1-5-11"}, {WinCreatorOwnerSid, u"S-1-3-0"},
        {WinLowLabelSid, u"S-1-16-4096"},       {WinMediumLabelSid, u"S-1-16-8192"},
        {WinHighLabelSid, u"S-1-16-12288"},     {WinSystemLabelSid, u"S-1-16-16384"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.text));
        DWORD size = 0;
        EXPECT_FALSE(CreateWellKnownSid(c.type, nullptr, nullptr, &size));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        std::vector<BYTE> buffer(size);
        ASSERT_TRUE(CreateWellKnownSid(c.type, nullptr, buffer.data(), &size));
        EXPECT_EQ(GetLengthSid(buffer.data()), size);
        PSID expected = nullptr;
        ASSERT_TRUE(ConvertStringSidToSidW(c.text, &expected));
        EXPECT_TRUE(EqualSid(buffer.data(), expected));
        LocalFree(expected);
    }
}

TEST(Sids, AllocationComparisonAndCopies) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                         DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins));
    EXPECT_EQ(GetLengthSid(admins), 16u);
    EXPECT_EQ(*GetSidSubAuthorityCount(admins), 2);
    EXPECT_EQ(*GetSidSubAuthority(admins, 1), DOMAIN_ALIAS_RID_ADMINS);
    EXPECT_EQ(GetSidIdentifierAuthority(admins)->Value[5], 5);
    EXPECT_TRUE(IsWellKnownSid(admins, WinBuiltinAdministratorsSid));

    PSID system = nullptr;
    ASSERT_TRUE(
        AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system));
    EXPECT_FALSE(EqualSid(admins, system));
    EXPECT_EQ(GetLastError(), 0u);

    BYTE copy[SECURITY_MAX_SID_SIZE];
    EXPECT_FALSE(CopySid(12, copy, admins));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    ASSERT_TRUE(CopySid(sizeof copy, copy, admins));
    EXPECT_TRUE(EqualSid(copy, admins));

    PSID nine = reinterpret_cast<PSID>(1);
    EXPECT_FALSE(AllocateAndInitializeSid(&nt, 9, 0, 0, 0, 0, 0, 0, 0, 0, &nine));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    BYTE garbage[12] = {2, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};  // revision 2
    EXPECT_FALSE(IsValidSid(garbage));
    EXPECT_FALSE(EqualSid(garbage, admins));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SID));

    EXPECT_EQ(FreeSid(admins), nullptr);
    EXPECT_EQ(FreeSid(system), nullptr);
}

}  // namespace
