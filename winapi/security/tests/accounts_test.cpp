// Account names over the password and group databases and the well-known names.
#include <gtest/gtest.h>

#include <grp.h>

#include <string>

#include "security_test_support.h"
#include "win/security.h"
#include "win/sysinfo.h"

namespace {

struct Lookup {
    bool ok = false;
    DWORD error = 0;
    std::u16string name, domain;
    SID_NAME_USE use = SidTypeUnknown;
};

Lookup NameOf(const char16_t* sid_text) {
    Lookup result;
    PSID sid = nullptr;
    if (!ConvertStringSidToSidW(sid_text, &sid))
        return result;
    WCHAR name[256], domain[256];
    DWORD name_size = 256, domain_size = 256;
    result.ok = LookupAccountSidW(nullptr, sid, name, &name_size, domain, &domain_size,
                                  &result.use) != FALSE;
    result.error = result.ok ? 0 : GetLastError();
    if (result.ok) {
        result.name.assign(name, name_size);
        result.domain.assign(domain, domain_size);
    }
    LocalFree(sid);
    return result;
}

// The SID of a name as text, or the error as text.
std::u16string SidOf(const std::u16string& name, SID_NAME_USE* use = nullptr) {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sid_size = sizeof sid;
    WCHAR domain[256];
    DWORD domain_size = 256;
    SID_NAME_USE ignored;
    if (!LookupAccountNameW(nullptr, name.c_str(), sid, &sid_size, domain, &domain_size,
                            use ? use : &ignored)) {
        return u"error " + kvwin::FromUtf8(std::to_string(GetLastError()));
    }
    LPWSTR text = nullptr;
    ConvertSidToStringSidW(sid, &text);
    std::u16string result = text;
    LocalFree(text);
    return result;
}

std::u16string ComputerName() {
    WCHAR name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) ? std::u16string(name, size) : u"";
}

std::u16string Text(const std::string& text) {
    return kvwin::FromUtf8(text);
}

TEST(Accounts, SidsNameTheirAccounts) {
    struct Case {
        const char16_t* sid;
        const char16_t* name;
        const char16_t* domain;
        SID_NAME_USE use;
    } cases[] = {
        {u"S-1-5-18", u"SYSTEM", u"NT AUTHORITY", SidTypeWellKnownGroup},
        {u"S-1-5-32-544", u"Administrators", u"BUILTIN", SidTypeAlias},
        {u"S-1-5-32-545", u"Users", u"BUILTIN", SidTypeAlias},
        {u"S-1-1-0", u"Everyone", u"", SidTypeWellKnownGroup},
        {u"S-1-5-11", u"Authenticated Users", u"NT AUTHORITY", SidTypeWellKnownGroup},
        {u"S-1-3-0", u"CREATOR OWNER", u"", SidTypeWellKnownGroup},
        {u"S-1-16-4096", u"Low Mandatory Level", u"Mandatory Label", SidTypeLabel},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(kvwin::ToUtf8(c.sid));
        const Lookup lookup = NameOf(c.sid);
        ASSERT_TRUE(lookup.ok) << lookup.error;
        EXPECT_EQ(lookup.name, c.name);
        EXPECT_EQ(lookup.domain, c.domain);
        EXPECT_EQ(lookup.use, c.use);
    }

    const std::u16string nobody = u"S-1-22-1-" + Text(std::to_string(kvsec::NobodyUid()));
    Lookup lookup = NameOf(nobody.c_str());
    ASSERT_TRUE(lookup.ok);
    EXPECT_EQ(lookup.name, u"nobody");
    EXPECT_EQ(lookup.domain, ComputerName());
    EXPECT_EQ(lookup.use, SidTypeUser);

    const group* nobody_group = ::getgrgid(kvsec::NobodyGid());
    ASSERT_NE(nobody_group, nullptr);
    const std::u16string group_sid = u"S-1-22-2-" + Text(std::to_string(kvsec::NobodyGid()));
    lookup = NameOf(group_sid.c_str());
    ASSERT_TRUE(lookup.ok);
    EXPECT_EQ(lookup.name, Text(nobody_group->gr_name));
    EXPECT_EQ(lookup.use, SidTypeAlias);

    for (const char16_t* unmapped : {u"S-1-22-1-4000000000", u"S-1-5-21-1-2-3-500"}) {
        lookup = NameOf(unmapped);
        EXPECT_FALSE(lookup.ok);
        EXPECT_EQ(lookup.error, static_cast<DWORD>(ERROR_NONE_MAPPED));
    }
}

TEST(Accounts, NamesGiveTheirSids) {
    const std::u16string nobody_sid = u"S-1-22-1-" + Text(std::to_string(kvsec::NobodyUid()));
    SID_NAME_USE use = SidTypeUnknown;
    EXPECT_EQ(SidOf(u"nobody", &use), nobody_sid);
    EXPECT_EQ(use, SidTypeUser);
    EXPECT_EQ(SidOf(ComputerName() + u"\\nobody"), nobody_sid);
    EXPECT_EQ(SidOf(u"root"), u"S-1-5-18");
    EXPECT_EQ(SidOf(u"NT AUTHORITY\\SYSTEM"), u"S-1-5-18");
    EXPECT_EQ(SidOf(u"builtin\\administrators"), u"S-1-5-32-544");
    EXPECT_EQ(SidOf(u"Everyone", &use), u"S-1-1-0");
    EXPECT_EQ(use, SidTypeWellKnownGroup);
    const group* nobody_group = ::getgrgid(kvsec::NobodyGid());
    ASSERT_NE(nobody_group, nullptr);
    EXPECT_EQ(SidOf(Text(nobody_group->gr_name)),
              u"S-1-22-2-" + Text(std::to_string(nobody_group->gr_gid)));

    EXPECT_EQ(SidOf(u"no-such-account-here"), u"error 1332");
    EXPECT_EQ(SidOf(u"OTHERDOMAIN\\nobody"), u"error 1332");
    EXPECT_EQ(SidOf(u"BUILTIN\\SYSTEM"), u"error 1332");

    // The name the process runs as leads back to the SID of its token.
    WCHAR user[256];
    DWORD size = 256;
    ASSERT_TRUE(GetUserNameW(user, &size));
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    BYTE buffer[128];
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size));
    CloseHandle(token);
    LPWSTR text = nullptr;
    ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text);
    EXPECT_EQ(SidOf(user), std::u16string(text));
    LocalFree(text);
}

TEST(Accounts, SmallBuffersAreAnsweredWithTheSizesNeeded) {
    PSID sid = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(u"S-1-5-32-544", &sid));
    WCHAR name[4], domain[4];
    DWORD name_size = 4, domain_size = 4;
    SID_NAME_USE use;
    EXPECT_FALSE(LookupAccountSidW(nullptr, sid, name, &name_size, domain, &domain_size, &use));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(name_size, 15u);   // "Administrators" and its terminator
    EXPECT_EQ(domain_size, 8u);  // "BUILTIN" and its terminator
    LocalFree(sid);

    DWORD sid_size = 0;
    domain_size = 0;
    EXPECT_FALSE(
        LookupAccountNameW(nullptr, u"SYSTEM", nullptr, &sid_size, nullptr, &domain_size, &use));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(sid_size, 12u);
    EXPECT_EQ(domain_size, 13u);

    EXPECT_FALSE(LookupAccountNameW(u"\\\\elsewhere-host", u"SYSTEM", nullptr, &sid_size, nullptr,
                                    &domain_size, &use));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
}

}  // namespace
