// Impersonation: one thread acts as another user for files while the others stay as they
// were; the thread token can be opened, put aside and put back, and duplicated into the
// primary token a child would be started with.
#include <gtest/gtest.h>

#include <fcntl.h>

#include <future>
#include <string>
#include <thread>
#include <vector>

#include "kvtest/test_env.h"
#include "kvwin/security_token.h"
#include "security_test_support.h"
#include "win/files.h"
#include "win/security.h"
#include "win/sysinfo.h"

namespace {

using kvsec::OpenFolder;
using kvsec::StatOf;

// Creates a file through the layer; true when it was created.
bool Create(const std::string& path) {
    HANDLE file = CreateFileW(kvwin::FromUtf8(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

std::string UserName() {
    WCHAR name[256];
    DWORD size = 256;
    return GetUserNameW(name, &size) ? kvwin::ToUtf8(name) : "?";
}

std::u16string TokenUserText(HANDLE token) {
    BYTE buffer[128];
    DWORD size = 0;
    if (!GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size))
        return u"error";
    LPWSTR text = nullptr;
    ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text);
    std::u16string result = text ? text : u"";
    LocalFree(text);
    return result;
}

std::u16string NobodySidText() {
    return u"S-1-22-1-" + kvwin::FromUtf8(std::to_string(kvsec::NobodyUid()));
}

class Impersonation : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root: only root may impersonate another user";
    }
};

TEST_F(Impersonation, AThreadThatDoesNotImpersonateHasNoToken) {
    HANDLE token = reinterpret_cast<HANDLE>(1);
    EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
    EXPECT_EQ(token, nullptr);
    EXPECT_TRUE(RevertToSelf());
    EXPECT_TRUE(SetThreadToken(nullptr, nullptr));
}

TEST_F(Impersonation, OnlyTheImpersonatingThreadCreatesFilesAsTheUser) {
    OpenFolder folder;
    OpenFolder root_only(0700);
    const uid_t nobody = kvsec::NobodyUid();
    std::promise<HANDLE> impersonating;
    std::promise<void> main_done;
    std::promise<void> worker_done;

    std::thread worker([&] {
        kvwin::ScopedImpersonation as_nobody(nobody);
        EXPECT_TRUE(as_nobody.active()) << as_nobody.error();
        HANDLE self = nullptr;
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, 0,
                        FALSE, DUPLICATE_SAME_ACCESS);
        impersonating.set_value(self);
        main_done.get_future().wait();

        EXPECT_TRUE(Create(folder.Native("by-worker")));
        EXPECT_FALSE(Create(root_only.Native("denied")));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_EQ(UserName(), "nobody");
        worker_done.set_value();
        // The destructor reverts: from here on the worker is root again.
    });

    HANDLE worker_handle = impersonating.get_future().get();
    // While the worker impersonates, this thread is still root.
    EXPECT_TRUE(Create(folder.Native("by-main")));
    EXPECT_TRUE(Create(root_only.Native("allowed")));
    EXPECT_EQ(UserName(), "root");
    HANDLE token = nullptr;
    EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token));
    // The worker's token is visible through its thread handle.
    ASSERT_TRUE(OpenThreadToken(worker_handle, TOKEN_QUERY, TRUE, &token)) << GetLastError();
    EXPECT_EQ(TokenUserText(token), NobodySidText());
    CloseHandle(token);
    main_done.set_value();
    worker_done.get_future().wait();
    worker.join();

    EXPECT_FALSE(OpenThreadToken(worker_handle, TOKEN_QUERY, TRUE, &token));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
    CloseHandle(worker_handle);
    EXPECT_EQ(StatOf(folder.Native("by-worker")).st_uid, nobody);
    EXPECT_EQ(StatOf(folder.Native("by-worker")).st_gid, kvsec::NobodyGid());
    EXPECT_EQ(StatOf(folder.Native("by-main")).st_uid, 0u);
}

TEST_F(Impersonation, TheTokenCanBePutAsideAndPutBack) {
    // The log writer's pattern: write with the process's identity, then restore.
    OpenFolder folder;
    HANDLE account = kvwin::CreateAccountToken(kvsec::NobodyUid());
    ASSERT_NE(account, nullptr);
    ASSERT_TRUE(ImpersonateLoggedOnUser(account));
    CloseHandle(account);

    HANDLE token = nullptr;
    ASSERT_TRUE(OpenThreadToken(GetCurrentThread(), TOKEN_IMPERSONATE, TRUE, &token));
    ASSERT_TRUE(RevertToSelf());
    EXPECT_TRUE(Create(folder.Native("as-self")));
    ASSERT_TRUE(SetThreadToken(nullptr, token));
    CloseHandle(token);
    EXPECT_TRUE(Create(folder.Native("as-user")));
    EXPECT_EQ(UserName(), "nobody");
    ASSERT_TRUE(RevertToSelf());

    EXPECT_EQ(StatOf(folder.Native("as-self")).st_uid, 0u);
    EXPECT_EQ(StatOf(folder.Native("as-user")).st_uid, kvsec::NobodyUid());
    EXPECT_EQ(UserName(), "root");
}

TEST_F(Impersonation, SetThreadTokenWantsAnImpersonationTokenWithTheRight) {
    HANDLE primary = kvwin::CreateAccountToken(kvsec::NobodyUid());
    ASSERT_NE(primary, nullptr);
    EXPECT_FALSE(SetThreadToken(nullptr, primary));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_TOKEN_TYPE));

    HANDLE query_only = nullptr;
    ASSERT_TRUE(DuplicateTokenEx(primary, TOKEN_QUERY, nullptr, SecurityImpersonation,
                                 TokenImpersonation, &query_only));
    EXPECT_FALSE(SetThreadToken(nullptr, query_only));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(ImpersonateLoggedOnUser(query_only));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    HANDLE token = nullptr;
    EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token))
        << "nothing was impersonated";

    HANDLE not_a_thread = primary;
    EXPECT_FALSE(SetThreadToken(&not_a_thread, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    CloseHandle(query_only);
    CloseHandle(primary);
}

TEST_F(Impersonation, TheThreadTokenDuplicatesIntoThePrimaryTokenOfAChild) {
    // How a process is started as the user the thread acts for.
    kvwin::ScopedImpersonation as_nobody(kvsec::NobodyUid());
    ASSERT_TRUE(as_nobody.active());
    HANDLE thread_token = nullptr;
    ASSERT_TRUE(OpenThreadToken(GetCurrentThread(), TOKEN_DUPLICATE | TOKEN_QUERY | READ_CONTROL,
                                TRUE, &thread_token));
    TOKEN_TYPE type{};
    SECURITY_IMPERSONATION_LEVEL level{};
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(thread_token, TokenType, &type, sizeof type, &size));
    EXPECT_EQ(type, TokenImpersonation);
    ASSERT_TRUE(
        GetTokenInformation(thread_token, TokenImpersonationLevel, &level, sizeof level, &size));
    EXPECT_EQ(level, SecurityImpersonation);

    HANDLE primary = nullptr;
    ASSERT_TRUE(DuplicateTokenEx(thread_token, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation,
                                 TokenPrimary, &primary));
    EXPECT_EQ(TokenUserText(primary), NobodySidText());
    kvwin::TokenAccount account;
    ASSERT_TRUE(kvwin::TokenAccountOf(primary, account));
    EXPECT_EQ(account.uid, kvsec::NobodyUid());
    EXPECT_EQ(account.gid, kvsec::NobodyGid());
    ASSERT_FALSE(account.groups.empty());
    EXPECT_EQ(account.groups.front(), kvsec::NobodyGid());

    // The user holds no primary-token privilege: the call succeeds and says so.
    TOKEN_PRIVILEGES change{};
    change.PrivilegeCount = 1;
    ASSERT_TRUE(
        LookupPrivilegeValueW(nullptr, SE_ASSIGNPRIMARYTOKEN_NAME, &change.Privileges[0].Luid));
    change.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    ASSERT_TRUE(AdjustTokenPrivileges(primary, FALSE, &change, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ALL_ASSIGNED));

    DWORD integrity_size = 0;
    BYTE label[64];
    ASSERT_TRUE(
        GetTokenInformation(primary, TokenIntegrityLevel, label, sizeof label, &integrity_size));
    const PSID label_sid = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(label)->Label.Sid;
    EXPECT_TRUE(IsWellKnownSid(label_sid, WinMediumLabelSid));
    CloseHandle(primary);
    CloseHandle(thread_token);
}

TEST_F(Impersonation, AUserOtherThanRootMayActOnlyAsItself) {
    OpenFolder folder;
    const kvtest::ChildResult result = kvtest::RunInChild([&] {
        kvsec::BecomeNobody();
        HANDLE root = kvwin::CreateAccountToken(0);
        CHILD_CHECK(root != nullptr);
        CHILD_CHECK(!ImpersonateLoggedOnUser(root));
        CHILD_CHECK(GetLastError() == ERROR_PRIVILEGE_NOT_HELD);
        CloseHandle(root);
        HANDLE token = nullptr;
        CHILD_CHECK(!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token));
        CHILD_CHECK(Create(folder.Native("still-nobody")));
        CHILD_CHECK(StatOf(folder.Native("still-nobody")).st_uid == kvsec::NobodyUid());

        // Acting as itself needs nothing.
        CHILD_CHECK(ImpersonateSelf(SecurityImpersonation));
        CHILD_CHECK(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token));
        CHILD_CHECK(TokenUserText(token) == NobodySidText());
        CloseHandle(token);
        CHILD_CHECK(RevertToSelf());
    });
    ASSERT_TRUE(result.exited) << result.output;
    EXPECT_EQ(result.exit_code, 0) << result.output;
}

}  // namespace
