// Whole-file reads and writes, the checked write and seek, and forced deletion.
#include <gtest/gtest.h>

#include "files/file_operations.h"
#include "files_test_support.h"
#include "kvwin/wide_string.h"
#include "win/errors.h"

namespace {

using filestest::ReadWholeFile;
using filestest::WinPath;

TEST(ReadFileWithRetries, ReturnsTheWholeFileFollowedByAZeroByte) {
    const WString path = WinPath("data.bin");
    const std::string content("a\0b\xff", 4);
    ASSERT_TRUE(filestest::WriteWholeFile(path, content));
    std::vector<uint8_t> bytes(100, 0x55);
    uint32_t size = 0;
    ASSERT_TRUE(ReadFileWithRetries(path.c_str(), bytes, size));
    EXPECT_EQ(size, 4u);
    ASSERT_EQ(bytes.size(), 5u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), content);
    EXPECT_EQ(bytes[4], 0);

    ASSERT_TRUE(filestest::WriteWholeFile(path, ""));
    ASSERT_TRUE(ReadFileWithRetries(path.c_str(), bytes, size));
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(bytes, std::vector<uint8_t>{0});
}

TEST(WriteFileWithRetries, ReplacesTheFileWithPrefixAndData) {
    const WString path = WinPath("out.txt");
    ASSERT_TRUE(filestest::WriteWholeFile(path, "a much longer earlier content"));
    ASSERT_TRUE(WriteFileWithRetries(path.c_str(), "data", 4, "head:", GENERIC_WRITE, 0));
    EXPECT_EQ(ReadWholeFile(path), "head:data");
    ASSERT_TRUE(WriteFileWithRetries(path.c_str(), "xy\0z", 4, nullptr, GENERIC_WRITE, 0));
    EXPECT_EQ(ReadWholeFile(path), std::string("xy\0z", 4));
    ASSERT_TRUE(WriteFileWithRetries(path.c_str(), nullptr, 0, "", GENERIC_WRITE, 0));
    EXPECT_EQ(ReadWholeFile(path), "");
}

// Without write access every write fails: nothing after a failed prefix is written, and
// the write's error survives the close.
TEST(WriteFileWithRetries, AFailedWriteKeepsItsErrorAfterTheClose) {
    const WString path = WinPath("out.txt");
    EXPECT_FALSE(WriteFileWithRetries(path.c_str(), "data", 4, "head", GENERIC_READ, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadWholeFile(path), "");
}

TEST(WriteAll, WritesEveryByteOrAZeroTerminatedString) {
    const WString path = WinPath("out.txt");
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(WriteAll(file, "one\0two", kWriteAllZeroTerminated));
    EXPECT_TRUE(WriteAll(file, "\0x", 2));
    EXPECT_TRUE(WriteAll(file, "", 0));
    CloseHandle(file);
    EXPECT_EQ(ReadWholeFile(path), std::string("one\0x", 5));
}

TEST(SetFilePointerChecked, FailsOnlyWithAnError) {
    const WString path = WinPath("log.txt");
    ASSERT_TRUE(filestest::WriteWholeFile(path, "first\n"));
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SetLastError(ERROR_ACCESS_DENIED);  // a stale error must not read as a failure
    EXPECT_TRUE(SetFilePointerChecked(file, 0, FILE_END));
    EXPECT_TRUE(WriteAll(file, "second\n", kWriteAllZeroTerminated));
    EXPECT_FALSE(SetFilePointerChecked(file, -100, FILE_BEGIN));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
    CloseHandle(file);
    EXPECT_EQ(ReadWholeFile(path), "first\nsecond\n");
}

TEST(DeleteFileForce, DeletesReadOnlyFilesAndReportsWhatStopsIt) {
    const WString path = WinPath("readonly.txt");
    ASSERT_TRUE(filestest::WriteWholeFile(path, "x"));
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_FALSE(DeleteFileW(path.c_str()));
    EXPECT_TRUE(DeleteFileForce(path.c_str()));
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);

    EXPECT_FALSE(DeleteFileForce(path.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    ASSERT_TRUE(filestest::WriteWholeFile(path, "x"));
    HANDLE open = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(open, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(DeleteFileForce(path.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(open);
    EXPECT_TRUE(DeleteFileForce(path.c_str()));
}

}  // namespace
