// The long-path form and the file calls that take it.
#include <gtest/gtest.h>

#include "files/file_operations.h"
#include "files/long_path.h"
#include "files_test_support.h"
#include "kvwin/wide_string.h"
#include "win/errors.h"

namespace {

using filestest::WinPath;

TEST(LongPathForm, DriveLetterPathsAreCanonicalisedCollapsedAndPrefixed) {
    EXPECT_EQ(LongPathForm(TEXT("C:\\a\\.\\b\\..\\c")), TEXT("\\\\?\\C:\\a\\c"));
    EXPECT_EQ(LongPathForm(TEXT("C:\\a\\\\b")), TEXT("\\\\?\\C:\\a\\b"));
    EXPECT_EQ(LongPathForm(TEXT("C:\\a\\\\\\\\b\\\\")), TEXT("\\\\?\\C:\\a\\b\\"));
    EXPECT_EQ(LongPathForm(TEXT("C:\\a\\b")), TEXT("\\\\?\\C:\\a\\b"));
    EXPECT_EQ(LongPathForm(TEXT("C:\\")), TEXT("\\\\?\\C:\\"));
    // ".\" is what asks for canonicalisation; a final "." without one is left alone.
    EXPECT_EQ(LongPathForm(TEXT("C:\\a\\.")), TEXT("\\\\?\\C:\\a\\."));
}

TEST(LongPathForm, OtherPathsPassUnchanged) {
    for (const WCHAR* path :
         {TEXT("\\\\server\\share\\x"), TEXT("relative\\x"), TEXT("C:/a/./b"), TEXT("C:"),
          TEXT("C:x\\.\\y"), TEXT("\\\\?\\C:\\a\\.\\b"), TEXT("/tmp//x"), TEXT("")}) {
        EXPECT_EQ(LongPathForm(path), path) << kvwin::ToUtf8(path);
    }
    EXPECT_EQ(LongPathForm(nullptr), TEXT(""));
}

TEST(LongPathForm, APathTooLongToCanonicaliseIsStillCollapsedAndPrefixed) {
    const WString longName(300, TEXT('n'));
    const WString path = TEXT("C:\\a\\.\\\\") + longName;
    EXPECT_EQ(LongPathForm(path.c_str()), TEXT("\\\\?\\C:\\a\\.\\") + longName);
}

// Every primitive on a path far beyond MAX_PATH, and on one with dot segments.
TEST(LongPathCalls, WorkOnPathsLongerThanMaxPath) {
    WString folder = WinPath("long");
    for (int i = 0; i < 14; ++i)
        folder += TEXT("\\") + WString(40, static_cast<WCHAR>(TEXT('a') + i));
    ASSERT_GT(folder.size(), 500u);
    ASSERT_TRUE(CreateDirectoryPath(folder.c_str(), nullptr, 0)) << GetLastError();
    EXPECT_TRUE(IsDirectory(folder.c_str()));

    const WString plain = folder + TEXT("\\data.txt");
    HANDLE handle = CreateFileLong(plain.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << GetLastError();
    ASSERT_TRUE(WriteAll(handle, "abc", kWriteAllZeroTerminated));
    ASSERT_TRUE(CloseHandle(handle));

    std::vector<uint8_t> bytes;
    uint32_t size = 0;
    ASSERT_TRUE(ReadFileWithRetries(plain.c_str(), bytes, size));
    EXPECT_EQ(size, 3u);

    EXPECT_TRUE(SetFileAttributesLong(plain.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(GetFileAttributesLong(plain.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(DeleteFileLong(plain.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(DeleteFileForce(plain.c_str()));
    EXPECT_EQ(GetFileAttributesLong(plain.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(filestest::Lines().empty());
}

// "missing\.." is resolved before the system sees the path, so the folder need not exist.
TEST(LongPathCalls, DotSegmentsAreResolvedBeforeTheSystemSeesThem) {
    ASSERT_TRUE(CreateDirectoryPath(WinPath("dots").c_str(), nullptr, 0));
    const WString file = WinPath("dots\\missing\\..\\.\\data.txt");
    HANDLE handle = CreateFileLong(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << GetLastError();
    CloseHandle(handle);
    EXPECT_NE(GetFileAttributesW(WinPath("dots\\data.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(DeleteFileLong(file.c_str()));
}

}  // namespace
