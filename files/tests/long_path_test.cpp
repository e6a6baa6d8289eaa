// The long-path form and the file calls that take it.
#include <gtest/gtest.h>

#include "files/file_operations.h"
#include "files/long_path.h"
#include "files_test_support.h"
#include "win/errors.h"

namespace {

using filestest::WinPath;

TEST(LongPathForm, DriveLetterPathsAreCanonicalisedCollapsedAndPrefixed) {
    EXPECT_EQ(LongPathForm(u"C:\\a\\.\\b\\..\\c"), u"\\\\?\\C:\\a\\c");
    EXPECT_EQ(LongPathForm(u"C:\\a\\\\b"), u"\\\\?\\C:\\a\\b");
    EXPECT_EQ(LongPathForm(u"C:\\a\\\\\\\\b\\\\"), u"\\\\?\\C:\\a\\b\\");
    EXPECT_EQ(LongPathForm(u"C:\\a\\b"), u"\\\\?\\C:\\a\\b");
    EXPECT_EQ(LongPathForm(u"C:\\"), u"\\\\?\\C:\\");
    // ".\" is what asks for canonicalisation; a final "." without one is left alone.
    EXPECT_EQ(LongPathForm(u"C:\\a\\."), u"\\\\?\\C:\\a\\.");
}

TEST(LongPathForm, OtherPathsPassUnchanged) {
    for (const char16_t* path : {u"\\\\server\\share\\x", u"relative\\x", u"C:/a/./b", u"C:",
                                 u"C:x\\.\\y", u"\\\\?\\C:\\a\\.\\b", u"/tmp//x", u""}) {
        EXPECT_EQ(LongPathForm(path), path) << kvwin::ToUtf8(path);
    }
    EXPECT_EQ(LongPathForm(nullptr), u"");
}

TEST(LongPathForm, APathTooLongToCanonicaliseIsStillCollapsedAndPrefixed) {
    const std::u16string longName(300, u'n');
    const std::u16string path = u"C:\\a\\.\\\\" + longName;
    EXPECT_EQ(LongPathForm(path.c_str()), u"\\\\?\\C:\\a\\.\\" + longName);
}

// Every primitive on a path far beyond MAX_PATH, and on one with dot segments.
TEST(LongPathCalls, WorkOnPathsLongerThanMaxPath) {
    std::u16string folder = WinPath("long");
    for (int i = 0; i < 14; ++i)
        folder += u"\\" + std::u16string(40, static_cast<char16_t>(u'a' + i));
    ASSERT_GT(folder.size(), 500u);
    ASSERT_TRUE(CreateDirectoryPath(folder.c_str(), nullptr, 0)) << GetLastError();
    EXPECT_TRUE(IsDirectory(folder.c_str()));

    const std::u16string plain = folder + u"\\data.txt";
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
    const std::u16string file = WinPath("dots\\missing\\..\\.\\data.txt");
    HANDLE handle = CreateFileLong(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << GetLastError();
    CloseHandle(handle);
    EXPECT_NE(GetFileAttributesW(WinPath("dots\\data.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(DeleteFileLong(file.c_str()));
}

}  // namespace
