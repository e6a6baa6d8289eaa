#include <gtest/gtest.h>

#include <cstdlib>

#include "file_test_support.h"

using namespace filetest;

namespace {

#define EXPECT_LAST_ERROR(code) EXPECT_EQ(GetLastError(), static_cast<DWORD>(code))

TEST(FileNames, MoveRefusesAnExistingTargetUnlessAskedToReplace) {
    const auto a = WinPath("a.txt"), b = WinPath("b.txt");
    ASSERT_TRUE(WriteWholeFile(a, "A"));
    ASSERT_TRUE(WriteWholeFile(b, "B"));
    EXPECT_FALSE(MoveFileW(a.c_str(), b.c_str()));
    EXPECT_LAST_ERROR(ERROR_ALREADY_EXISTS);
    EXPECT_EQ(ReadWholeFile(b), "B");
    ASSERT_TRUE(MoveFileExW(a.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(ReadWholeFile(b), "A");
    EXPECT_EQ(GetFileAttributesW(a.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(MoveFileW(a.c_str(), b.c_str()));
    EXPECT_LAST_ERROR(ERROR_FILE_NOT_FOUND);

    HANDLE open = Open(b, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_FALSE(MoveFileW(b.c_str(), WinPath("c.txt").c_str()))
        << "a handle without FILE_SHARE_DELETE pins the name";
    EXPECT_LAST_ERROR(ERROR_SHARING_VIOLATION);
    CloseHandle(open);
}

TEST(FileNames, CopyKeepsTheSourceAndHonoursFailIfExists) {
    const auto a = WinPath("src.txt"), b = WinPath("dst.txt");
    ASSERT_TRUE(WriteWholeFile(a, std::string(100000, 'q')));
    ASSERT_TRUE(CopyFileW(a.c_str(), b.c_str(), TRUE));
    EXPECT_EQ(ReadWholeFile(b).size(), 100000u);
    EXPECT_FALSE(CopyFileW(a.c_str(), b.c_str(), TRUE));
    EXPECT_LAST_ERROR(ERROR_FILE_EXISTS);
    ASSERT_TRUE(WriteWholeFile(a, "short"));
    ASSERT_TRUE(CopyFileW(a.c_str(), b.c_str(), FALSE));
    EXPECT_EQ(ReadWholeFile(b), "short");
}

TEST(FileNames, FoldersAndTheirErrors) {
    const auto top = WinPath("top");
    EXPECT_FALSE(CreateDirectoryW(WinPath("top\\sub").c_str(), nullptr));
    EXPECT_LAST_ERROR(ERROR_PATH_NOT_FOUND);
    ASSERT_TRUE(CreateDirectoryW(top.c_str(), nullptr));
    EXPECT_FALSE(CreateDirectoryW((top + u"\\").c_str(), nullptr));
    EXPECT_LAST_ERROR(ERROR_ALREADY_EXISTS);
    ASSERT_TRUE(WriteWholeFile(WinPath("top\\f.txt"), "f"));
    EXPECT_EQ(GetFileAttributesW(top.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(GetFileAttributesW(WinPath("top/f.txt").c_str()),
              static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    EXPECT_FALSE(RemoveDirectoryW(top.c_str()));
    EXPECT_LAST_ERROR(ERROR_DIR_NOT_EMPTY);
    EXPECT_FALSE(DeleteFileW(top.c_str()));
    EXPECT_LAST_ERROR(ERROR_ACCESS_DENIED);
    EXPECT_FALSE(RemoveDirectoryW(WinPath("top\\f.txt").c_str()));
    EXPECT_LAST_ERROR(ERROR_DIRECTORY);
    ASSERT_TRUE(DeleteFileW(WinPath("top\\f.txt").c_str()));
    EXPECT_TRUE(RemoveDirectoryW(top.c_str()));
    EXPECT_EQ(GetFileAttributesW(WinPath("gone\\x").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_LAST_ERROR(ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(DeleteFileW(nullptr));
    EXPECT_FALSE(DeleteFileW(u"Q:\\unmapped.txt"));
    EXPECT_LAST_ERROR(ERROR_INVALID_DRIVE);
}

TEST(SystemFolders, TempPathFollowsWindowsOrderAndSizeRules) {
    ::setenv("TMP", "C:\\Temp", 1);
    ::setenv("TEMP", "/ignored", 1);
    WCHAR buffer[64];
    EXPECT_EQ(GetTempPathW(64, buffer), 8u);
    EXPECT_EQ(std::u16string(buffer), u"C:\\Temp\\");
    EXPECT_EQ(GetTempPathW(8, buffer), 9u) << "too small: the size needed, terminator included";
    EXPECT_EQ(GetTempPathW(0, nullptr), 9u);
    ::unsetenv("TMP");
    EXPECT_EQ(GetTempPathW(64, buffer), 9u);
    EXPECT_EQ(std::u16string(buffer), u"/ignored/");
    ::unsetenv("TEMP");
    ::unsetenv("USERPROFILE");
    ::setenv("TMPDIR", "/tmp/", 1);
    GetTempPathW(64, buffer);
    EXPECT_EQ(std::u16string(buffer),
              u"C:\\Temp\\" + kvwin::FromUtf8(std::to_string(::geteuid())) + u"\\")
        << "the shared /tmp is never the temp path";
    ::unsetenv("TMPDIR");
    EXPECT_EQ(GetSystemDirectoryW(buffer, 64), 19u);
    EXPECT_EQ(std::u16string(buffer), u"C:\\Windows\\System32");
}

}  // namespace
