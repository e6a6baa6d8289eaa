#include <gtest/gtest.h>

#include <set>

#include "file_test_support.h"
#include "kvwin/utf.h"

using namespace filetest;

namespace {

std::set<std::string> Find(const std::string& pattern) {
    std::set<std::string> names;
    WIN32_FIND_DATAW data{};
    HANDLE h = FindFirstFileW(WinPath(pattern).c_str(), &data);
    if (h == INVALID_HANDLE_VALUE)
        return {"<error " + std::to_string(GetLastError()) + ">"};
    do {
        names.insert(kvwin::ToUtf8(data.cFileName));
    } while (FindNextFileW(h, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(h));
    return names;
}

TEST(FindFiles, WildcardsAreCaseInsensitiveAndDotStarMatchesEverything) {
    ASSERT_TRUE(CreateDirectoryW(WinPath("logs").c_str(), nullptr));
    for (const char* name : {"Agent.log", "agent_1.LOG", "Agent.log.old", "README"}) {
        ASSERT_TRUE(WriteWholeFile(WinPath(std::string("logs\\") + name), name));
    }
    using Names = std::set<std::string>;
    EXPECT_EQ(Find("logs\\agent*.log"), (Names{"Agent.log", "agent_1.LOG"}));
    EXPECT_EQ(Find("logs\\AGENT?1.log"), (Names{"agent_1.LOG"}));
    EXPECT_EQ(Find("logs\\*.*"),
              (Names{".", "..", "Agent.log", "agent_1.LOG", "Agent.log.old", "README"}));
    EXPECT_EQ(Find("logs\\README.*"), (Names{"README"}));
    EXPECT_EQ(Find("logs\\*.txt"), (Names{"<error 2>"}));
    EXPECT_EQ(Find("missing\\*"), (Names{"<error 3>"}));
}

TEST(FindFiles, ReportsSizesAttributesAndWriteTimes) {
    ASSERT_TRUE(CreateDirectoryW(WinPath("d").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(WinPath("d\\sub").c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(WinPath("d\\five.bin"), "12345"));
    WIN32_FIND_DATAW data{};
    HANDLE h = FindFirstFileW(WinPath("d\\five.bin").c_str(), &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.nFileSizeLow, 5u);
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    EXPECT_NE(data.ftLastWriteTime.dwHighDateTime, 0u);
    FindClose(h);
    h = FindFirstFileW(WinPath("d\\SUB").c_str(), &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(FindClose(reinterpret_cast<HANDLE>(uintptr_t{4096})));
    EXPECT_TRUE(FindClose(h));
}

}  // namespace
