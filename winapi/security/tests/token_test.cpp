// The process token: information classes and their sizes, access checks, integrity levels,
// privileges as root and as another user, and duplication.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "kvtest/test_env.h"
#include "kvwin/handle_table.h"
#include "security_test_support.h"
#include "win/security.h"

namespace {

// Reads an information class the way the library does: size first, then the data.
bool QueryAlloc(HANDLE token, TOKEN_INFORMATION_CLASS info_class, std::vector<BYTE>& buffer) {
    DWORD size = 0;
    if (GetTokenInformation(token, info_class, nullptr, 0, &size) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return false;
    }
    buffer.assign(size, 0xcc);
    return GetTokenInformation(token, info_class, buffer.data(), size, &size) != FALSE;
}

struct Token {
    HANDLE handle = nullptr;
    explicit Token(DWORD access = TOKEN_QUERY | TOKEN_ADJUST_PRIVILEGES) {
        EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), access, &handle)) << GetLastError();
    }
    ~Token() {
        if (handle)
            CloseHandle(handle);
    }
};

DWORD IntegrityRid(HANDLE token) {
    std::vector<BYTE> buffer;
    if (!QueryAlloc(token, TokenIntegrityLevel, buffer))
        return 0xFFFFFFFF;
    const auto* label = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer.data());
    return *GetSidSubAuthority(label->Label.Sid, *GetSidSubAuthorityCount(label->Label.Sid) - 1);
}

bool HasPrivilegeEnabled(HANDLE token, const char16_t* name) {
    LUID luid{};
    std::vector<BYTE> buffer;
    if (!LookupPrivilegeValueW(nullptr, name, &luid) || !QueryAlloc(token, TokenPrivileges, buffer))
        return false;
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        const LUID_AND_ATTRIBUTES& entry = privileges->Privileges[i];
        if (entry.Luid.LowPart == luid.LowPart && entry.Luid.HighPart == luid.HighPart)
            return entry.Attributes & SE_PRIVILEGE_ENABLED;
    }
    return false;
}

// AdjustTokenPrivileges for one privilege; returns the last error after a successful call,
// or ~0 when the call itself failed.
DWORD SetPrivilege(HANDLE token, const char16_t* name, bool enable) {
    TOKEN_PRIVILEGES change{};
    change.PrivilegeCount = 1;
    if (!LookupPrivilegeValueW(nullptr, name, &change.Privileges[0].Luid))
        return ~0u;
    change.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    if (!AdjustTokenPrivileges(token, FALSE, &change, 0, nullptr, nullptr))
        return ~0u;
    return GetLastError();
}

class Tokens : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root: the children compare root with nobody";
        ::unsetenv("KAVREL_INTEGRITY");
    }
};

TEST_F(Tokens, EveryClassAnswersASizeQueryAndRefusesTooSmallABuffer) {
    Token token;
    struct Case {
        TOKEN_INFORMATION_CLASS info_class;
        DWORD size;  // 0: depends on the groups and privileges
    } cases[] = {
        {TokenUser, sizeof(TOKEN_USER) + 12},
        {TokenIntegrityLevel, sizeof(TOKEN_MANDATORY_LABEL) + 12},
        {TokenElevation, sizeof(TOKEN_ELEVATION)},
        {TokenElevationType, sizeof(TOKEN_ELEVATION_TYPE)},
        {TokenType, sizeof(TOKEN_TYPE)},
        {TokenOwner, sizeof(TOKEN_OWNER) + 12},
        {TokenPrimaryGroup, sizeof(TOKEN_PRIMARY_GROUP) + 16},
        {TokenGroups, 0},
        {TokenPrivileges, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.info_class));
        DWORD size = 0;
        EXPECT_FALSE(GetTokenInformation(token.handle, c.info_class, nullptr, 0, &size));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        if (c.size) {
            EXPECT_EQ(size, c.size);
        }
        ASSERT_GT(size, 0u);
        std::vector<BYTE> buffer(size + 16, 0xcc);
        DWORD returned = 0;
        EXPECT_FALSE(
            GetTokenInformation(token.handle, c.info_class, buffer.data(), size - 1, &returned));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(returned, size);
        ASSERT_TRUE(GetTokenInformation(token.handle, c.info_class, buffer.data(),
                                        static_cast<DWORD>(buffer.size()), &returned));
        EXPECT_EQ(returned, size);
        EXPECT_EQ(buffer[size], 0xcc) << "nothing written past the information";
    }
    DWORD size = 0;
    EXPECT_FALSE(GetTokenInformation(token.handle, TokenImpersonationLevel, nullptr, 0, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << "primary token";
    EXPECT_FALSE(GetTokenInformation(token.handle, TokenSource, nullptr, 0, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(Tokens, RootIsLocalSystemAtHighIntegrityInAdministrators) {
    Token token;
    std::vector<BYTE> buffer;
    ASSERT_TRUE(QueryAlloc(token.handle, TokenUser, buffer));
    const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
    // The SID lives inside the caller's buffer, after the fixed part.
    EXPECT_GE(static_cast<const BYTE*>(user->User.Sid), buffer.data() + sizeof(TOKEN_USER));
    EXPECT_TRUE(IsWellKnownSid(user->User.Sid, WinLocalSystemSid));
    // The library's LocalSystem test: NT authority, first sub-authority 18.
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    EXPECT_EQ(std::memcmp(GetSidIdentifierAuthority(user->User.Sid), &nt, 6), 0);
    EXPECT_EQ(*GetSidSubAuthority(user->User.Sid, 0), SECURITY_LOCAL_SYSTEM_RID);

    EXPECT_EQ(IntegrityRid(token.handle), SECURITY_MANDATORY_HIGH_RID);
    ASSERT_TRUE(QueryAlloc(token.handle, TokenElevation, buffer));
    EXPECT_EQ(reinterpret_cast<const TOKEN_ELEVATION*>(buffer.data())->TokenIsElevated, 1u);

    ASSERT_TRUE(QueryAlloc(token.handle, TokenGroups, buffer));
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    bool admins = false, users = false, label = false, root_group = false;
    PSID root_group_sid = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(u"S-1-22-2-0", &root_group_sid));
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        const SID_AND_ATTRIBUTES& group = groups->Groups[i];
        if (IsWellKnownSid(group.Sid, WinBuiltinAdministratorsSid))
            admins = (group.Attributes & (SE_GROUP_ENABLED | SE_GROUP_OWNER)) ==
                     (SE_GROUP_ENABLED | SE_GROUP_OWNER);
        users |= IsWellKnownSid(group.Sid, WinBuiltinUsersSid) != FALSE;
        label |=
            IsWellKnownSid(group.Sid, WinHighLabelSid) && (group.Attributes & SE_GROUP_INTEGRITY);
        root_group |= EqualSid(group.Sid, root_group_sid) != FALSE;
    }
    LocalFree(root_group_sid);
    EXPECT_TRUE(admins);
    EXPECT_TRUE(users);
    EXPECT_TRUE(label);
    EXPECT_TRUE(root_group);
}

TEST_F(Tokens, IntegrityFollowsTheUserAndHowTheProcessWasStarted) {
    struct Case {
        bool nobody;
        const char* setting;  // KAVREL_INTEGRITY, or null
        DWORD rid;
        DWORD elevated;
    } cases[] = {
        {false, nullptr, SECURITY_MANDATORY_HIGH_RID, 1},
        {false, "low", SECURITY_MANDATORY_LOW_RID, 0},
        {false, "Medium", SECURITY_MANDATORY_MEDIUM_RID, 0},
        {false, "system", SECURITY_MANDATORY_SYSTEM_RID, 1},
        {true, nullptr, SECURITY_MANDATORY_MEDIUM_RID, 0},
        {true, "LOW", SECURITY_MANDATORY_LOW_RID, 0},
        {true, "system", SECURITY_MANDATORY_MEDIUM_RID, 0},  // cannot raise itself
        {true, "high", SECURITY_MANDATORY_MEDIUM_RID, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.nobody ? "nobody " : "root ") + (c.setting ? c.setting : "-"));
        const kvtest::ChildResult result = kvtest::RunInChild([&] {
            if (c.setting)
                ::setenv("KAVREL_INTEGRITY", c.setting, 1);
            if (c.nobody)
                kvsec::BecomeNobody();
            HANDLE token = nullptr;
            CHILD_CHECK(OpenProcessToken(GetCurrentProcess(), MAXIMUM_ALLOWED, &token));
            CHILD_CHECK(IntegrityRid(token) == c.rid);
            TOKEN_ELEVATION elevation{7};
            DWORD size = 0;
            CHILD_CHECK(
                GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size));
            CHILD_CHECK(elevation.TokenIsElevated == c.elevated);
            CloseHandle(token);
        });
        ASSERT_TRUE(result.exited) << result.output;
        EXPECT_EQ(result.exit_code, 0) << result.output;
    }
}

TEST_F(Tokens, RootHoldsThePrivilegesAndEveryOpenSeesTheirState) {
    EXPECT_EQ(SetPrivilege(Token().handle, SE_BACKUP_NAME, false), 0u);
    Token first, second;
    ASSERT_FALSE(HasPrivilegeEnabled(second.handle, SE_BACKUP_NAME));

    // Enabling, with the previous state asked for.
    TOKEN_PRIVILEGES change{};
    change.PrivilegeCount = 1;
    ASSERT_TRUE(LookupPrivilegeValueW(nullptr, SE_BACKUP_NAME, &change.Privileges[0].Luid));
    change.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    TOKEN_PRIVILEGES previous{};
    DWORD needed = 0;
    EXPECT_FALSE(AdjustTokenPrivileges(first.handle, FALSE, &change, 4, &previous, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, sizeof(TOKEN_PRIVILEGES));
    EXPECT_FALSE(HasPrivilegeEnabled(second.handle, SE_BACKUP_NAME))
        << "a refused call changes nothing";
    ASSERT_TRUE(
        AdjustTokenPrivileges(first.handle, FALSE, &change, sizeof previous, &previous, &needed));
    EXPECT_EQ(GetLastError(), 0u);
    ASSERT_EQ(previous.PrivilegeCount, 1u);
    EXPECT_EQ(previous.Privileges[0].Luid.LowPart, 17u);
    EXPECT_EQ(previous.Privileges[0].Attributes & SE_PRIVILEGE_ENABLED, 0u);
    EXPECT_TRUE(HasPrivilegeEnabled(second.handle, SE_BACKUP_NAME)) << "one process token";

    for (const char16_t* name : {SE_DEBUG_NAME, SE_TCB_NAME, SE_ASSIGNPRIMARYTOKEN_NAME,
                                 SE_INCREASE_QUOTA_NAME, SE_IMPERSONATE_NAME, SE_RESTORE_NAME}) {
        EXPECT_EQ(SetPrivilege(first.handle, name, true), 0u);
        EXPECT_TRUE(HasPrivilegeEnabled(second.handle, name));
    }
    ASSERT_TRUE(AdjustTokenPrivileges(first.handle, TRUE, nullptr, 0, nullptr, nullptr));
    EXPECT_FALSE(HasPrivilegeEnabled(second.handle, SE_DEBUG_NAME));
}

TEST_F(Tokens, AnotherUserIsToldWhatItDoesNotHold) {
    const kvtest::ChildResult result = kvtest::RunInChild([] {
        kvsec::BecomeNobody();
        HANDLE token = nullptr;
        CHILD_CHECK(
            OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
        for (const char16_t* name :
             {SE_ASSIGNPRIMARYTOKEN_NAME, SE_INCREASE_QUOTA_NAME, SE_DEBUG_NAME, SE_TCB_NAME}) {
            CHILD_CHECK(SetPrivilege(token, name, true) == ERROR_NOT_ALL_ASSIGNED);
            CHILD_CHECK(!HasPrivilegeEnabled(token, name));
        }
        CHILD_CHECK(SetPrivilege(token, SE_SHUTDOWN_NAME, true) == 0);
        CHILD_CHECK(HasPrivilegeEnabled(token, SE_SHUTDOWN_NAME));
        CHILD_CHECK(HasPrivilegeEnabled(token, SE_CHANGE_NOTIFY_NAME));

        std::vector<BYTE> buffer;
        CHILD_CHECK(QueryAlloc(token, TokenUser, buffer));
        LPWSTR text = nullptr;
        CHILD_CHECK(ConvertSidToStringSidW(
            reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid, &text));
        CHILD_CHECK(std::u16string(text) ==
                    u"S-1-22-1-" + kvwin::FromUtf8(std::to_string(kvsec::NobodyUid())));
        LocalFree(text);
        CloseHandle(token);
    });
    ASSERT_TRUE(result.exited) << result.output;
    EXPECT_EQ(result.exit_code, 0) << result.output;
}

TEST_F(Tokens, HandlesGrantOnlyTheRightsTheyWereOpenedWith) {
    const size_t open_before = kvwin::OpenHandleCount();
    HANDLE query_only = nullptr, adjust_only = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &query_only));
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &adjust_only));

    DWORD size = 0;
    EXPECT_FALSE(GetTokenInformation(adjust_only, TokenUser, nullptr, 0, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(SetPrivilege(query_only, SE_DEBUG_NAME, true), ~0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    HANDLE copy = nullptr;
    EXPECT_FALSE(DuplicateTokenEx(query_only, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation,
                                  TokenPrimary, &copy));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    EXPECT_TRUE(CloseHandle(query_only));
    EXPECT_TRUE(CloseHandle(adjust_only));
    EXPECT_FALSE(CloseHandle(query_only));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(GetTokenInformation(query_only, TokenUser, nullptr, 0, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(kvwin::OpenHandleCount(), open_before);

    HANDLE other = nullptr;
    EXPECT_FALSE(OpenProcessToken(reinterpret_cast<HANDLE>(0x400), TOKEN_QUERY, &other));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Tokens, DuplicatesAreIndependentAndKeepTheirLevels) {
    Token process(TOKEN_DUPLICATE | TOKEN_QUERY);
    HANDLE identify = nullptr;
    ASSERT_TRUE(DuplicateTokenEx(process.handle, 0, nullptr, SecurityIdentification,
                                 TokenImpersonation, &identify));
    TOKEN_TYPE type{};
    SECURITY_IMPERSONATION_LEVEL level{};
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(identify, TokenType, &type, sizeof type, &size))
        << "same access";
    EXPECT_EQ(type, TokenImpersonation);
    ASSERT_TRUE(
        GetTokenInformation(identify, TokenImpersonationLevel, &level, sizeof level, &size));
    EXPECT_EQ(level, SecurityIdentification);

    HANDLE refused = nullptr;
    EXPECT_FALSE(DuplicateTokenEx(identify, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation,
                                  TokenImpersonation, &refused));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_IMPERSONATION_LEVEL));
    EXPECT_FALSE(DuplicateTokenEx(identify, MAXIMUM_ALLOWED, nullptr, SecurityIdentification,
                                  TokenPrimary, &refused));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_IMPERSONATION_LEVEL));
    EXPECT_FALSE(DuplicateTokenEx(process.handle, MAXIMUM_ALLOWED, nullptr,
                                  static_cast<SECURITY_IMPERSONATION_LEVEL>(9), TokenPrimary,
                                  &refused));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    CloseHandle(identify);

    // A primary copy has privileges of its own.
    EXPECT_EQ(SetPrivilege(Token().handle, SE_RESTORE_NAME, false), 0u);
    HANDLE primary = nullptr;
    ASSERT_TRUE(DuplicateTokenEx(process.handle, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation,
                                 TokenPrimary, &primary));
    EXPECT_EQ(SetPrivilege(primary, SE_RESTORE_NAME, true), 0u);
    EXPECT_TRUE(HasPrivilegeEnabled(primary, SE_RESTORE_NAME));
    EXPECT_FALSE(HasPrivilegeEnabled(Token().handle, SE_RESTORE_NAME));
    CloseHandle(primary);
}

TEST(Privileges, NamesAndValuesAreTheWindowsOnes) {
    struct Case {
        const char16_t* name;
        DWORD value;
    } cases[] = {
        {u"SeDebugPrivilege", 20},
        {u"SeTcbPrivilege", 7},
        {u"SeAssignPrimaryTokenPrivilege", 3},
        {u"SeIncreaseQuotaPrivilege", 5},
        {u"SeImpersonatePrivilege", 29},
        {u"SeBackupPrivilege", 17},
        {u"SeRestorePrivilege", 18},
        {u"sechangenotifyprivilege", 23},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(kvwin::ToUtf8(c.name));
        LUID luid{};
        ASSERT_TRUE(LookupPrivilegeValueW(nullptr, c.name, &luid));
        EXPECT_EQ(luid.LowPart, c.value);
        EXPECT_EQ(luid.HighPart, 0);
        WCHAR name[64];
        DWORD size = 2;
        EXPECT_FALSE(LookupPrivilegeNameW(nullptr, &luid, name, &size));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(size, kvwin::WideLength(c.name) + 1);
        ASSERT_TRUE(LookupPrivilegeNameW(u"", &luid, name, &size));
        EXPECT_EQ(size, kvwin::WideLength(c.name));
    }
    LUID luid{};
    EXPECT_FALSE(LookupPrivilegeValueW(nullptr, u"SeNoSuchPrivilege", &luid));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SUCH_PRIVILEGE));
    EXPECT_FALSE(LookupPrivilegeValueW(u"\\\\elsewhere-host", SE_DEBUG_NAME, &luid));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
}

}  // namespace
