#include "win/environment.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "kvwin/utf.h"

extern char** environ;

namespace {

std::u16string Get(const char16_t* name) {
    WCHAR buffer[256];
    const DWORD n = GetEnvironmentVariableW(name, buffer, 256);
    return n < 256 ? std::u16string(buffer, n) : std::u16string(u"<too long>");
}

std::u16string Expand(const char16_t* source) {
    WCHAR buffer[512];
    const DWORD n = ExpandEnvironmentStringsW(source, buffer, 512);
    if (n == 0 || n > 512)
        return u"<failed>";
    EXPECT_EQ(buffer[n - 1], u'\0');
    return std::u16string(buffer, n - 1);
}

TEST(EnvironmentVariable, SizeRulesFollowWindows) {
    ASSERT_TRUE(SetEnvironmentVariableW(u"KV_SIZE", u"abcd"));
    WCHAR buffer[8] = {u'x', u'x', u'x', u'x', u'x', u'x', u'x', u'x'};
    // Too small by one (no room for the NUL): the size needed including the NUL.
    EXPECT_EQ(GetEnvironmentVariableW(u"KV_SIZE", buffer, 4), 5u);
    EXPECT_EQ(buffer[0], u'x');
    EXPECT_EQ(GetEnvironmentVariableW(u"KV_SIZE", nullptr, 0), 5u);
    // Exactly large enough: the length without the NUL.
    EXPECT_EQ(GetEnvironmentVariableW(u"KV_SIZE", buffer, 5), 4u);
    EXPECT_EQ(std::u16string(buffer), u"abcd");

    SetLastError(0);
    EXPECT_EQ(GetEnvironmentVariableW(u"KV_MISSING", buffer, 8), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));

    ASSERT_TRUE(SetEnvironmentVariableW(u"KV_EMPTY", u""));
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    EXPECT_EQ(GetEnvironmentVariableW(u"KV_EMPTY", buffer, 8), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(buffer[0], u'\0');
    EXPECT_EQ(GetEnvironmentVariableW(u"KV_EMPTY", nullptr, 0), 1u);

    // Non-ASCII values survive the trip through UTF-8.
    ASSERT_TRUE(SetEnvironmentVariableW(u"KV_WIDE", u"Gr\u00fc\u00dfe \u6771"));
    EXPECT_EQ(Get(u"KV_WIDE"), u"Gr\u00fc\u00dfe \u6771");
}

TEST(EnvironmentVariable, SetAndDeleteWithWindowsNameRules) {
    EXPECT_FALSE(SetEnvironmentVariableW(u"A=B", u"1"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(SetEnvironmentVariableW(u"", u"1"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(SetEnvironmentVariableW(nullptr, u"1"));

    ASSERT_TRUE(SetEnvironmentVariableW(u"KvMixed", u"one"));
    EXPECT_EQ(Get(u"KVMIXED"), u"one");
    EXPECT_EQ(Get(u"kvmixed"), u"one");
    // Setting another spelling changes the same variable, visible under every spelling.
    ASSERT_TRUE(SetEnvironmentVariableW(u"KVMIXED", u"two"));
    EXPECT_EQ(Get(u"KvMixed"), u"two");
    EXPECT_STREQ(::getenv("KvMixed"), "two");
    ASSERT_TRUE(SetEnvironmentVariableW(u"kvmixed", nullptr));
    EXPECT_EQ(GetEnvironmentVariableW(u"KvMixed", nullptr, 0), 0u);
    EXPECT_EQ(::getenv("KvMixed"), nullptr);
    EXPECT_EQ(::getenv("KVMIXED"), nullptr);
}

TEST(EnvironmentVariable, TwoLinuxSpellingsResolvePredictably) {
    ::setenv("KvPath", "mixed", 1);
    ::setenv("KVPATH", "upper", 1);
    EXPECT_EQ(Get(u"KVPATH"), u"upper");
    EXPECT_EQ(Get(u"KvPath"), u"mixed");
    ASSERT_TRUE(SetEnvironmentVariableW(u"kvpath", u"same"));
    EXPECT_EQ(Get(u"KVPATH"), u"same");
    EXPECT_EQ(Get(u"KvPath"), u"same");
    EXPECT_EQ(Get(u"kVpAtH"), u"same");
}

TEST(ExpandEnvironmentStrings, ReferencesUnknownNamesAndStrayPercents) {
    ASSERT_TRUE(SetEnvironmentVariableW(u"KV_ROOTDIR", u"C:\\Zor"));
    ASSERT_TRUE(SetEnvironmentVariableW(u"KV_BLANK", u""));
    EXPECT_EQ(Expand(u"%kv_rootdir%\\Agent\\%KV_ROOTDIR%"), u"C:\\Zor\\Agent\\C:\\Zor");
    EXPECT_EQ(Expand(u"plain text"), u"plain text");
    EXPECT_EQ(Expand(u""), u"");
    EXPECT_EQ(Expand(u"%KV_UNKNOWN%\\x"), u"%KV_UNKNOWN%\\x");
    EXPECT_EQ(Expand(u"[%KV_BLANK%]"), u"[]");
    EXPECT_EQ(Expand(u"100%"), u"100%");
    EXPECT_EQ(Expand(u"%%"), u"%%");
    EXPECT_EQ(Expand(u"a%KV_ROOTDIR"), u"a%KV_ROOTDIR");
    // The closing '%' of an unknown name may open the next reference.
    EXPECT_EQ(Expand(u"%KV_UNKNOWN%%KV_ROOTDIR%"), u"%KV_UNKNOWN%C:\\Zor");
    EXPECT_EQ(Expand(u"50%%KV_ROOTDIR%"), u"50%C:\\Zor");
}

TEST(ExpandEnvironmentStrings, SizeRulesCountTheNul) {
    ASSERT_TRUE(SetEnvironmentVariableW(u"KV_X", u"12345"));
    EXPECT_EQ(ExpandEnvironmentStringsW(u"<%KV_X%>", nullptr, 0), 8u);
    WCHAR small[7];
    EXPECT_EQ(ExpandEnvironmentStringsW(u"<%KV_X%>", small, 7), 8u);
    WCHAR exact[8];
    EXPECT_EQ(ExpandEnvironmentStringsW(u"<%KV_X%>", exact, 8), 8u);
    EXPECT_EQ(std::u16string(exact), u"<12345>");
    EXPECT_EQ(ExpandEnvironmentStringsW(nullptr, exact, 8), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(EnvironmentStrings, BlockListsEveryVariableAndEndsWithTwoNuls) {
    ASSERT_TRUE(SetEnvironmentVariableW(u"KV_BLOCK_A", u"1"));
    ASSERT_TRUE(SetEnvironmentVariableW(u"KV_BLOCK_B", u"x=y"));
    LPWSTR block = GetEnvironmentStringsW();
    ASSERT_NE(block, nullptr);
    std::vector<std::u16string> entries;
    for (const WCHAR* p = block; *p; p += kvwin::WideLength(p) + 1)
        entries.emplace_back(p);
    size_t count = 0;
    for (char** e = environ; *e; ++e)
        ++count;
    EXPECT_EQ(entries.size(), count);
    EXPECT_NE(std::find(entries.begin(), entries.end(), u"KV_BLOCK_A=1"), entries.end());
    EXPECT_NE(std::find(entries.begin(), entries.end(), u"KV_BLOCK_B=x=y"), entries.end());
    EXPECT_TRUE(FreeEnvironmentStringsW(block));
}

// The entries the layer makes are strings it keeps: what a host read through getenv stays
// readable after the layer changes the variable (the sanitizers see a freed entry), a value
// set again reuses its string, and the C library and the layer agree on every change.
TEST(EnvironmentVariable, EntriesOutliveTheirChangesAndAreMadeOncePerText) {
    ASSERT_TRUE(SetEnvironmentVariableW(u"KV_KEPT", u"first"));
    const char* first = std::getenv("KV_KEPT");
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first, "first");

    ASSERT_TRUE(SetEnvironmentVariableW(u"KV_KEPT", u"second"));
    EXPECT_STREQ(std::getenv("KV_KEPT"), "second");
    EXPECT_STREQ(first, "first");

    ASSERT_TRUE(SetEnvironmentVariableW(u"KV_KEPT", u"first"));
    EXPECT_EQ(std::getenv("KV_KEPT"), first);

    // Set by the host behind the layer's back, then by the layer again, then removed.
    ASSERT_EQ(::setenv("KV_KEPT", "host", 1), 0);
    EXPECT_EQ(Get(u"KV_KEPT"), u"host");
    ASSERT_TRUE(SetEnvironmentVariableW(u"KV_KEPT", u"second"));
    EXPECT_STREQ(std::getenv("KV_KEPT"), "second");
    ASSERT_TRUE(SetEnvironmentVariableW(u"KV_KEPT", nullptr));
    EXPECT_EQ(std::getenv("KV_KEPT"), nullptr);
    EXPECT_STREQ(first, "first");

    // The entry is the whole "NAME=value", a value with '=' in it included.
    ASSERT_TRUE(SetEnvironmentVariableW(u"KV_KEPT", u"a=b"));
    const auto entry = std::find_if(environ, environ + 4096, [](const char* e) {
        return e == nullptr || std::string_view(e).starts_with("KV_KEPT=");
    });
    ASSERT_NE(*entry, nullptr);
    EXPECT_STREQ(*entry, "KV_KEPT=a=b");
}

TEST(EnvironmentVariable, ManyThreadsSetAndReadAtOnce) {
    constexpr int kThreads = 8;
    constexpr int kRounds = 2000;
    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            const std::u16string own = u"KV_THREAD_" + kvwin::FromUtf8(std::to_string(t));
            for (int i = 0; i < kRounds; ++i) {
                const std::u16string value = kvwin::FromUtf8(std::to_string(i));
                if (!SetEnvironmentVariableW(own.c_str(), value.c_str()))
                    ++failures[t];
                WCHAR buffer[32];
                const DWORD n = GetEnvironmentVariableW(own.c_str(), buffer, 32);
                if (std::u16string(buffer, n < 32 ? n : 0) != value)
                    ++failures[t];
                // Everyone also churns one shared variable and expands it.
                SetEnvironmentVariableW(u"KV_SHARED", (i % 2) ? u"odd" : nullptr);
                WCHAR expanded[64];
                const DWORD m = ExpandEnvironmentStringsW(u"%KV_SHARED%", expanded, 64);
                const std::u16string got(expanded, m ? m - 1 : 0);
                if (got != u"odd" && got != u"%KV_SHARED%")
                    ++failures[t];
                if (i % 256 == 0)
                    FreeEnvironmentStringsW(GetEnvironmentStringsW());
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(failures[t], 0) << "thread " << t;
}

// Entries are never freed, so ever new values stop at a bound with ERROR_NOT_ENOUGH_MEMORY and
// the variable keeps its value; a text set before is still set again. In a child process, as
// the room it uses up is gone for the rest of the process.
TEST(EnvironmentVariable, EverNewValuesStopAtTheBoundOfKeptEntries) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const std::u16string megabyte(1 << 20, u'v');
        int set = 0;
        while (set < 200 &&
               SetEnvironmentVariableW(u"KV_GROW",
                                       (megabyte + kvwin::FromUtf8(std::to_string(set))).c_str()))
            ++set;
        const bool refused = set > 50 && set < 70 && GetLastError() == ERROR_NOT_ENOUGH_MEMORY;
        const char* value = std::getenv("KV_GROW");
        const bool kept = value && std::string_view(value).ends_with(std::to_string(set - 1));
        const bool again = SetEnvironmentVariableW(u"KV_GROW", (megabyte + u"0").c_str());
        _exit(refused && kept && again ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
