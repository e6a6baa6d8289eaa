// CreateEnvironmentBlock: the environment a process of a token's user is given.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>

#include "kvwin/security_token.h"
#include "kvwin/state_root.h"
#include "kvwin/utf.h"
#include "win/environment.h"

namespace {

std::map<std::string, std::string> BlockOf(HANDLE token, BOOL inherit) {
    LPVOID block = nullptr;
    EXPECT_TRUE(CreateEnvironmentBlock(&block, token, inherit)) << GetLastError();
    std::map<std::string, std::string> entries;
    if (!block)
        return entries;
    for (auto* entry = static_cast<const WCHAR*>(block); *entry;) {
        const std::u16string text(entry);
        const size_t eq = text.find(u'=');
        entries[kvwin::ToUtf8(text.substr(0, eq))] = kvwin::ToUtf8(text.substr(eq + 1));
        entry += text.size() + 1;
    }
    EXPECT_TRUE(DestroyEnvironmentBlock(block));
    return entries;
}

const passwd& Account(uid_t uid) {
    const passwd* entry = ::getpwuid(uid);
    EXPECT_NE(entry, nullptr);
    return *entry;
}

TEST(CreateEnvironmentBlock, TheUsersOwnVariablesOnTopOfWhatIsInherited) {
    ::setenv("KV_INHERITED", "yes", 1);
    ::setenv("XDG_DATA_HOME", "/somewhere/mine", 1);
    ::setenv("PATH", "/opt/tools:/usr/bin", 1);
    HANDLE token = kvwin::CreateAccountToken(::geteuid());
    ASSERT_NE(token, nullptr);
    const passwd& me = Account(::geteuid());

    auto alone = BlockOf(token, FALSE);
    EXPECT_EQ(alone.size(), 5u) << "PATH, HOME, USER, LOGNAME, SHELL only";
    EXPECT_EQ(alone["HOME"], me.pw_dir);
    EXPECT_EQ(alone["USER"], me.pw_name);
    EXPECT_EQ(alone["LOGNAME"], me.pw_name);
    EXPECT_EQ(alone["PATH"], ::geteuid() == 0
                                 ? "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"
                                 : "/usr/local/bin:/usr/bin:/bin");

    auto inherited = BlockOf(token, TRUE);
    EXPECT_EQ(inherited["KV_INHERITED"], "yes");
    EXPECT_EQ(inherited["PATH"], "/opt/tools:/usr/bin") << "an inherited PATH is kept";
    EXPECT_EQ(inherited["XDG_DATA_HOME"], "/somewhere/mine") << "same user: still right";
    EXPECT_EQ(inherited["HOME"], me.pw_dir);
    CloseHandle(token);

    auto noToken = BlockOf(nullptr, FALSE);
    EXPECT_EQ(noToken.size(), 1u);
    EXPECT_EQ(noToken.count("PATH"), 1u);
}

TEST(CreateEnvironmentBlock, AnotherUserKeepsTheMachineStateButNotThisUsersFolders) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to make a token for another user matter";
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    ::setenv("XDG_DATA_HOME", "/root/.local/share", 1);
    ::setenv("XDG_RUNTIME_DIR", "/run/user/0", 1);
    HANDLE token = kvwin::CreateAccountToken(nobody->pw_uid);
    ASSERT_NE(token, nullptr);
    auto entries = BlockOf(token, TRUE);
    EXPECT_EQ(entries.count("XDG_DATA_HOME"), 0u);
    EXPECT_EQ(entries.count("XDG_RUNTIME_DIR"), 0u);
    EXPECT_EQ(entries["KAVREL_ROOT"], kvwin::StateRoot());
    EXPECT_EQ(entries["USER"], "nobody");
    EXPECT_EQ(entries["HOME"], nobody->pw_dir);
    CloseHandle(token);
}

TEST(CreateEnvironmentBlock, RefusesWhatIsNoToken) {
    LPVOID block = nullptr;
    EXPECT_FALSE(CreateEnvironmentBlock(nullptr, nullptr, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(CreateEnvironmentBlock(&block, reinterpret_cast<HANDLE>(0x7FF0), FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(block, nullptr);
}

}  // namespace
