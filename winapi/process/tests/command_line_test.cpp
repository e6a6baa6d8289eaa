// CommandLineToArgvW against the splitting rules Windows programs live by.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvwin/utf.h"
#include "win/memory.h"
#include "win/modules.h"
#include "win/processes.h"

namespace {

std::vector<std::u16string> Split(const char16_t* line) {
    int count = -1;
    LPWSTR* words = CommandLineToArgvW(line, &count);
    std::vector<std::u16string> result;
    if (!words)
        return {u"<failed>"};
    for (int i = 0; i < count; ++i)
        result.emplace_back(words[i]);
    EXPECT_EQ(words[count], nullptr);
    LocalFree(words);
    return result;
}

TEST(CommandLineToArgvW, SplitsByTheWindowsRules) {
    struct Case {
        const char16_t* line;
        std::vector<std::u16string> words;
    };
    const Case cases[] = {
        {u"prog a b", {u"prog", u"a", u"b"}},
        {u"\"C:\\Program Files\\x.exe\" a", {u"C:\\Program Files\\x.exe", u"a"}},
        // The program name takes no escapes: its backslash stays.
        {u"C:\\dir\\ \"a b\"", {u"C:\\dir\\", u"a b"}},
        {u"p \"a b\" c\td", {u"p", u"a b", u"c", u"d"}},
        {u"p a\\\\b a\\\"b", {u"p", u"a\\\\b", u"a\"b"}},
        {u"p a\\\\\\\"b \"a\\\\\" c", {u"p", u"a\\\"b", u"a\\", u"c"}},
        // The launcher's own line: the folder's last backslash escapes the quote.
        {u"p -d \"C:\\T\\\" -id {G}", {u"p", u"-d", u"C:\\T\" -id {G}"}},
        {u"p \"a\"\"b\" \"\"", {u"p", u"a\"b", u""}},
        {u"p a\"b c\"d", {u"p", u"ab cd"}},
        {u" p a", {u"", u"p", u"a"}},
        {u"p   ", {u"p"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Split(c.line), c.words) << kvwin::ToUtf8(c.line);
}

TEST(CommandLineToArgvW, AnEmptyLineGivesTheExecutablesPath) {
    WCHAR path[1024];
    GetModuleFileNameW(nullptr, path, 1024);
    EXPECT_EQ(Split(u""), std::vector<std::u16string>{path});
    int count = 0;
    EXPECT_EQ(CommandLineToArgvW(u"a", nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    LocalFree(CommandLineToArgvW(nullptr, &count));
    EXPECT_EQ(count, 1);
}

TEST(GetCommandLineW, AProgramStartedFromLinuxGetsItsArgvQuotedBack) {
    // This test program was started by CTest, not by CreateProcessW.
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    ASSERT_NE(words, nullptr);
    ASSERT_GE(count, 2) << "CTest passes a --gtest_filter";
    EXPECT_EQ(std::u16string(words[1]).rfind(u"--gtest_filter=", 0), 0u);
    LocalFree(words);
    EXPECT_EQ(GetCommandLineW(), GetCommandLineW()) << "one text for the process's life";
}

}  // namespace
