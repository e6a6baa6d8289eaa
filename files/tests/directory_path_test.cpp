// CreateDirectoryPath: parents first, what counts as success, what is logged, and two
// processes creating the same folders at once.
#include <gtest/gtest.h>

#include "errors/error_description.h"
#include "files/file_operations.h"
#include "files_test_support.h"
#include "kvwin/wide_string.h"
#include "log/agent_log.h"
#include "win/errors.h"
#include "win/kernel_objects.h"
#include "win/shell.h"

namespace {

using filestest::Lines;
using filestest::WinPath;

TEST(CreateDirectoryPath, CreatesEveryMissingParentAndThenReportsTheFolderAsExisting) {
    const WString deepest = WinPath("x\\y\\z");
    ASSERT_FALSE(IsDirectory(WinPath("x").c_str()));
    ASSERT_TRUE(CreateDirectoryPath(deepest.c_str(), nullptr, 0)) << GetLastError();
    for (const char* level : {"x", "x\\y", "x\\y\\z"})
        EXPECT_TRUE(IsDirectory(WinPath(level).c_str())) << level;

    SetLastError(ERROR_SUCCESS);
    EXPECT_TRUE(CreateDirectoryPath(deepest.c_str(), nullptr, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

    // A trailing separator and forward slashes name the same kind of path.
    EXPECT_TRUE(CreateDirectoryPath(WinPath("x\\y\\w\\v\\").c_str(), nullptr, 0));
    EXPECT_TRUE(IsDirectory(WinPath("x\\y\\w\\v").c_str()));
    EXPECT_TRUE(CreateDirectoryPath(WinPath("x/s/t").c_str(), nullptr, 0));
    EXPECT_TRUE(IsDirectory(WinPath("x\\s\\t").c_str()));
    EXPECT_TRUE(Lines().empty());
}

TEST(CreateDirectoryPath, AFileInTheWayFailsWithCannotMakeAndLogsNothing) {
    ASSERT_TRUE(filestest::WriteWholeFile(WinPath("plain"), "data"));
    EXPECT_FALSE(CreateDirectoryPath(WinPath("plain").c_str(), nullptr, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_MAKE));
    // Below a file: the parent level fails the same way, and nothing above it logs.
    EXPECT_FALSE(CreateDirectoryPath(WinPath("plain\\sub\\deeper").c_str(), nullptr, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_MAKE));
    EXPECT_FALSE(IsDirectory(WinPath("plain").c_str()));
    EXPECT_TRUE(Lines().empty());

    EXPECT_FALSE(CreateDirectoryPath(nullptr, nullptr, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(CreateDirectoryPath(TEXT(""), nullptr, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(Lines().empty());
}

// A drive the machine does not have cannot be created: logged as a warning with its error
// unless the caller asks for silence; the error stays the last error either way.
TEST(CreateDirectoryPath, OtherFailuresAreLoggedAsWarningsUnlessSuppressed) {
    const WString path = TEXT("Q:\\nowhere\\x");
    EXPECT_FALSE(CreateDirectoryPath(path.c_str(), nullptr, 0));
    const DWORD error = GetLastError();
    EXPECT_NE(error, static_cast<DWORD>(ERROR_SUCCESS));
    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "2|CreateDirectoryPath|Cannot create directory '" + kvwin::ToUtf8(path) +
                            "', error: " + kvwin::ToUtf8(GetErrorText(error)));

    filestest::ClearLoggedLines();
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(CreateDirectoryPath(path.c_str(), nullptr, LogSuppress));
    EXPECT_EQ(GetLastError(), error);
    EXPECT_TRUE(Lines().empty());
}

// Four processes create the same trees at the same moment (each waits until all are
// ready); every call succeeds, whoever made each level.
TEST(CreateDirectoryPath, ProcessesRacingForTheSameFoldersAllSucceed) {
    constexpr int kProcesses = 4;
    const auto results = kvtest::RunInChildren(kProcesses, [](int index) {
        HANDLE ready[kProcesses];
        for (int i = 0; i < kProcesses; ++i) {
            const WString name = TEXT("Local\\files-race-ready-") + WString(1, TEXT('0') + i);
            ready[i] = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
        }
        SetEvent(ready[index]);
        if (WaitForMultipleObjects(kProcesses, ready, TRUE, 60000) != WAIT_OBJECT_0)
            _exit(3);
        for (int tree = 0; tree < 40; ++tree) {
            const WString path = WinPath("race\\t" + std::to_string(tree) + "\\a\\b\\c\\d\\e\\f");
            if (!CreateDirectoryPath(path.c_str(), nullptr, 0) || !IsDirectory(path.c_str())) {
                printf("tree %d failed: %u\n", tree, GetLastError());
                _exit(4);
            }
        }
        if (!filestest::Lines().empty())
            _exit(5);
    });
    for (const kvtest::ChildResult& result : results) {
        EXPECT_TRUE(result.exited);
        EXPECT_EQ(result.exit_code, 0) << result.output;
    }
}

}  // namespace
