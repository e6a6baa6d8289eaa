#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include "file_test_support.h"
#include "kvtest/test_env.h"
#include "kvwin/handle_table.h"

using namespace filetest;

namespace {

#define EXPECT_LAST_ERROR(code) EXPECT_EQ(GetLastError(), static_cast<DWORD>(code))

TEST(CreateFile, DispositionsAndTheLastErrorsTheyLeave) {
    const auto path = WinPath("disp.txt");
    EXPECT_EQ(Open(path, GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_LAST_ERROR(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Open(WinPath("no\\such\\folder.txt"), GENERIC_READ, 0, OPEN_EXISTING),
              INVALID_HANDLE_VALUE);
    EXPECT_LAST_ERROR(ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(Open(path, GENERIC_READ, 0, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE)
        << "truncating needs write access";
    EXPECT_LAST_ERROR(ERROR_INVALID_PARAMETER);

    HANDLE h = Open(path, GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_LAST_ERROR(ERROR_SUCCESS);
    CloseHandle(h);
    EXPECT_EQ(Open(path, GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_LAST_ERROR(ERROR_FILE_EXISTS);

    ASSERT_TRUE(WriteWholeFile(path, "hello"));
    h = Open(path, GENERIC_READ, 0, OPEN_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_LAST_ERROR(ERROR_ALREADY_EXISTS);
    EXPECT_EQ(GetFileSize(h, nullptr), 5u);
    CloseHandle(h);

    h = Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_LAST_ERROR(ERROR_ALREADY_EXISTS);
    EXPECT_EQ(GetFileSize(h, nullptr), 0u) << "CREATE_ALWAYS truncates";
    CloseHandle(h);

    h = Open(WinPath("fresh.txt"), GENERIC_WRITE, 0, OPEN_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_LAST_ERROR(ERROR_SUCCESS);
    CloseHandle(h);
}

// Overwriting an existing empty file is a truncation in every way the caller can see: the
// modification time moves, the access time does not, and read-only access is refused alike
// whether the file is empty or not.
TEST(CreateFile, OverwritingAnEmptyFileActsAsATruncation) {
    const auto path = WinPath("empty.txt");
    const std::string native = NativePath("empty.txt");
    ASSERT_TRUE(WriteWholeFile(path, ""));
    const timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, native.c_str(), past, 0), 0);

    HANDLE h = Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_LAST_ERROR(ERROR_ALREADY_EXISTS);
    CloseHandle(h);
    struct stat st {};
    ASSERT_EQ(::stat(native.c_str(), &st), 0);
    EXPECT_GT(st.st_mtim.tv_sec, 1000000000) << "the modification time moves";
    EXPECT_EQ(st.st_atim.tv_sec, 1000000000) << "the access time stays";
    EXPECT_EQ(st.st_size, 0);

    ASSERT_TRUE(WriteWholeFile(path, "new text"));
    EXPECT_EQ(ReadWholeFile(path), "new text");

    for (const std::string text : {"", "some data"}) {
        ASSERT_TRUE(WriteWholeFile(path, text));
        h = Open(path, GENERIC_READ, 0, CREATE_ALWAYS);
        EXPECT_EQ(h, INVALID_HANDLE_VALUE) << "read-only overwrite of \"" << text << "\"";
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
        EXPECT_EQ(ReadWholeFile(path), text);
    }
}

TEST(CreateFile, ShareModesBetweenHandlesOfOneProcess) {
    const auto path = WinPath("share.txt");
    ASSERT_TRUE(WriteWholeFile(path, "data"));

    HANDLE reader = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    HANDLE second = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_NE(second, INVALID_HANDLE_VALUE) << "two readers sharing reads";
    CloseHandle(second);

    EXPECT_EQ(Open(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE)
        << "the reader does not share writing";
    EXPECT_LAST_ERROR(ERROR_SHARING_VIOLATION);
    EXPECT_EQ(Open(path, GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE)
        << "a new handle may not refuse reading to a reader already there";
    EXPECT_LAST_ERROR(ERROR_SHARING_VIOLATION);
    EXPECT_EQ(Open(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_ALWAYS),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReadWholeFile(path), "data") << "a refused CREATE_ALWAYS must not truncate";
    EXPECT_FALSE(DeleteFileW(path.c_str()));
    EXPECT_LAST_ERROR(ERROR_SHARING_VIOLATION);
    CloseHandle(reader);

    HANDLE writer = Open(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE) << "the locks went with the closed handle";
    HANDLE shared_reader =
        Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    EXPECT_NE(shared_reader, INVALID_HANDLE_VALUE);
    CloseHandle(shared_reader);
    CloseHandle(writer);

    HANDLE deletable = Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING);
    ASSERT_NE(deletable, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(DeleteFileW(path.c_str())) << "FILE_SHARE_DELETE lets the name go";
    CloseHandle(deletable);
}

// Rights and refusals that are not neighbours (read and delete, without write) are
// recorded and checked each on its own: the right in the middle stays free.
TEST(CreateFile, ShareModesWithAGapBetweenRights) {
    const auto path = WinPath("gap.txt");
    ASSERT_TRUE(WriteWholeFile(path, "data"));
    HANDLE holder = Open(path, GENERIC_READ | DELETE, FILE_SHARE_WRITE, OPEN_EXISTING);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);

    HANDLE writer = Open(path, GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
    EXPECT_NE(writer, INVALID_HANDLE_VALUE) << "writing is shared";
    if (writer != INVALID_HANDLE_VALUE)
        CloseHandle(writer);
    EXPECT_EQ(Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                   OPEN_EXISTING),
              INVALID_HANDLE_VALUE)
        << "reading is refused";
    EXPECT_LAST_ERROR(ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(DeleteFileW(path.c_str())) << "deleting is refused";
    EXPECT_LAST_ERROR(ERROR_SHARING_VIOLATION);
    EXPECT_EQ(Open(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING),
              INVALID_HANDLE_VALUE)
        << "the holder's delete right is not shared by the newcomer";
    EXPECT_LAST_ERROR(ERROR_SHARING_VIOLATION);
    CloseHandle(holder);
}

TEST(CreateFile, ShareModesHoldAcrossProcesses) {
    const auto path = WinPath("cross.txt");
    ASSERT_TRUE(WriteWholeFile(path, "x"));
    HANDLE exclusive = Open(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);

    auto child = kvtest::RunInChild([&] {
        HANDLE h = Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
        _exit(h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION ? 0 : 1);
    });
    EXPECT_TRUE(child.exited);
    EXPECT_EQ(child.exit_code, 0) << "the child saw the parent's exclusive handle";
    CloseHandle(exclusive);

    child = kvtest::RunInChild([&] {
        HANDLE h = Open(path, GENERIC_READ, 0, OPEN_EXISTING);
        _exit(h != INVALID_HANDLE_VALUE ? 0 : 1);
    });
    EXPECT_EQ(child.exit_code, 0) << "closing released the share";
}

TEST(CreateFile, ReadOnlyFilesAndFolders) {
    const auto path = WinPath("ro.txt");
    HANDLE h = Open(path, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_READONLY);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(h, "abc", 3, &written, nullptr)) << "the creator may still write";
    CloseHandle(h);
    EXPECT_EQ(GetFileAttributesW(path.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(Open(path, GENERIC_WRITE, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_LAST_ERROR(ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReadWholeFile(path), "abc");
    EXPECT_FALSE(DeleteFileW(path.c_str()));
    EXPECT_LAST_ERROR(ERROR_ACCESS_DENIED);
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(DeleteFileW(path.c_str()));

    ASSERT_TRUE(CreateDirectoryW(WinPath("folder").c_str(), nullptr));
    EXPECT_EQ(Open(WinPath("folder"), GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_LAST_ERROR(ERROR_ACCESS_DENIED);
    h = Open(WinPath("folder"), GENERIC_READ, 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
}

TEST(CreateFile, DeleteOnCloseRemovesTheFileWithItsHandle) {
    const auto path = WinPath("temp.bin");
    HANDLE h = Open(path, GENERIC_WRITE, FILE_SHARE_DELETE, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    CloseHandle(h);
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_LAST_ERROR(ERROR_FILE_NOT_FOUND);
}

TEST(FileHandle, ReadWriteSeekAndAccessChecks) {
    const auto path = WinPath("rw.bin");
    HANDLE h = Open(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(h, "0123456789", 10, &n, nullptr));
    EXPECT_EQ(SetFilePointer(h, -4, nullptr, FILE_END), 6u);
    char buffer[16] = {};
    ASSERT_TRUE(ReadFile(h, buffer, sizeof buffer, &n, nullptr));
    EXPECT_EQ(std::string(buffer, n), "6789");
    ASSERT_TRUE(ReadFile(h, buffer, sizeof buffer, &n, nullptr));
    EXPECT_EQ(n, 0u) << "reading at the end succeeds with nothing";

    EXPECT_EQ(SetFilePointer(h, -20, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_LAST_ERROR(ERROR_NEGATIVE_SEEK);
    LONG high = 0;
    EXPECT_EQ(SetFilePointer(h, 3, &high, FILE_BEGIN), 3u);
    EXPECT_EQ(high, 0);
    ASSERT_TRUE(SetEndOfFile(h));
    LARGE_INTEGER size{};
    ASSERT_TRUE(GetFileSizeEx(h, &size));
    EXPECT_EQ(size.QuadPart, 3);
    FILETIME written{};
    ASSERT_TRUE(GetFileTime(h, nullptr, nullptr, &written));
    EXPECT_GT(written.dwHighDateTime, 0x01D00000u) << "a time after 2014";
    CloseHandle(h);

    h = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_FALSE(WriteFile(h, "x", 1, &n, nullptr));
    EXPECT_LAST_ERROR(ERROR_ACCESS_DENIED);
    CloseHandle(h);
    h = Open(path, GENERIC_WRITE, 0, OPEN_EXISTING);
    EXPECT_FALSE(ReadFile(h, buffer, 1, &n, nullptr));
    EXPECT_LAST_ERROR(ERROR_ACCESS_DENIED);
    CloseHandle(h);

    EXPECT_FALSE(ReadFile(h, buffer, 1, &n, nullptr)) << "a closed handle";
    EXPECT_LAST_ERROR(ERROR_INVALID_HANDLE);
}

TEST(FileHandle, AppendOnlyAccessWritesAtTheEnd) {
    const auto path = WinPath("append.log");
    ASSERT_TRUE(WriteWholeFile(path, "one\n"));
    HANDLE h = Open(path, FILE_APPEND_DATA, FILE_SHARE_READ, OPEN_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(h, "two\n", 4, &n, nullptr));
    CloseHandle(h);
    EXPECT_EQ(ReadWholeFile(path), "one\ntwo\n");
}

}  // namespace
