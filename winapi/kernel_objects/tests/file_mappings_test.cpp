#include <gtest/gtest.h>

#include <cstring>

#include "kvtest/test_env.h"
#include "kvwin/utf.h"
#include "win/files.h"
#include "win/kernel_objects.h"

namespace {

#define EXPECT_LAST_ERROR(code) EXPECT_EQ(GetLastError(), static_cast<DWORD>(code))

TEST(FileMappings, NamedPagingFileMappingIsSharedAndKeepsItsSize) {
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 100,
                                        u"Global\\Kavrel.Shared");
    ASSERT_NE(mapping, nullptr);
    EXPECT_LAST_ERROR(ERROR_SUCCESS);
    auto* view =
        static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view[0], 0) << "a new mapping starts zeroed";

    auto child = kvtest::RunInChild([] {
        HANDLE m = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 8192,
                                      u"Global\\Kavrel.Shared");
        if (!m || GetLastError() != ERROR_ALREADY_EXISTS)
            _exit(2);
        auto* v = static_cast<char*>(MapViewOfFile(m, FILE_MAP_ALL_ACCESS, 0, 0, 0));
        MEMORY_BASIC_INFORMATION info{};
        if (!v || VirtualQuery(v, &info, sizeof info) != sizeof info)
            _exit(3);
        // The existing mapping's 100 bytes, as whole pages: the opener's size does not count.
        if (info.RegionSize != 4096)
            _exit(4);
        std::strcpy(v, "from the child");
        _exit(0);
    });
    EXPECT_EQ(child.exit_code, 0) << child.output;
    EXPECT_STREQ(view, "from the child");

    MEMORY_BASIC_INFORMATION info{};
    ASSERT_EQ(VirtualQuery(view + 10, &info, sizeof info), sizeof info);
    EXPECT_EQ(info.AllocationBase, view);
    EXPECT_EQ(info.Type, static_cast<DWORD>(MEM_MAPPED));
    EXPECT_TRUE(UnmapViewOfFile(view));
    EXPECT_FALSE(UnmapViewOfFile(view));
    EXPECT_LAST_ERROR(ERROR_INVALID_ADDRESS);
    EXPECT_EQ(VirtualQuery(view, &info, sizeof info), 0u);
    CloseHandle(mapping);
}

TEST(FileMappings, ArgumentErrorsAsWindowsGivesThem) {
    EXPECT_EQ(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0, nullptr),
              nullptr);
    EXPECT_LAST_ERROR(ERROR_INVALID_PARAMETER);
    HANDLE mapping =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READONLY, 0, 200000, nullptr);
    ASSERT_NE(mapping, nullptr);
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0), nullptr);
    EXPECT_LAST_ERROR(ERROR_ACCESS_DENIED);
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 4096, 0), nullptr);
    EXPECT_LAST_ERROR(ERROR_MAPPED_ALIGNMENT);
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 300000), nullptr);
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 65536, 0);
    EXPECT_NE(view, nullptr) << "offsets in steps of 64 KiB";
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    EXPECT_EQ(OpenFileMappingW(FILE_MAP_READ, FALSE, u"Global\\Kavrel.None"), nullptr);
    EXPECT_LAST_ERROR(ERROR_FILE_NOT_FOUND);
}

TEST(FileMappings, AFileBackedViewSeesAndChangesTheFile) {
    const std::u16string path = u"C:\\mapped.bin";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    WriteFile(file, "hello", 5, &n, nullptr);
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    auto* view = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(std::string(view, 5), "hello");
    view[0] = 'j';
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    char buffer[8] = {};
    ReadFile(file, buffer, 5, &n, nullptr);
    EXPECT_STREQ(buffer, "jello");
    CloseHandle(file);
}

}  // namespace

namespace {

// Makes the named mapping, checks it reads as zeros throughout, and leaves a pattern in it.
void MakeZeroedAndScribble(const char16_t* name, DWORD size) {
    HANDLE mapping =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name);
    ASSERT_NE(mapping, nullptr);
    EXPECT_LAST_ERROR(ERROR_SUCCESS) << "made anew, not opened";
    auto* view = static_cast<unsigned char*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    ASSERT_NE(view, nullptr);
    size_t nonZero = 0;
    for (DWORD i = 0; i < size; ++i)
        nonZero += view[i] != 0;
    EXPECT_EQ(nonZero, 0u) << "a mapping made again starts zeroed, size " << size;
    std::memset(view, 0xA5, size);
    UnmapViewOfFile(view);
    CloseHandle(mapping);
}

}  // namespace

// A name whose last holder is gone names no object: opening it fails, and making it again
// gives a new object with nothing of the old one, of the same size, of another size, or of
// another kind.
TEST(FileMappings, AnObjectMadeAgainAfterItsLastHolderKeepsNothingOfTheOld) {
    constexpr const char16_t* kName = u"Global\\Kavrel.Remade";
    MakeZeroedAndScribble(kName, 8192);
    EXPECT_EQ(OpenFileMappingW(FILE_MAP_READ, FALSE, kName), nullptr);
    EXPECT_LAST_ERROR(ERROR_FILE_NOT_FOUND);
    MakeZeroedAndScribble(kName, 8192);
    MakeZeroedAndScribble(kName, 3 * 4096 + 10);
    MakeZeroedAndScribble(kName, 100);

    // The same name as a mutex: a new, unowned one that another process can take.
    HANDLE mutex = CreateMutexW(nullptr, TRUE, kName);
    ASSERT_NE(mutex, nullptr);
    EXPECT_LAST_ERROR(ERROR_SUCCESS);
    ASSERT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
    EXPECT_EQ(OpenMutexW(MUTEX_ALL_ACCESS, FALSE, kName), nullptr);
    EXPECT_LAST_ERROR(ERROR_FILE_NOT_FOUND);
    mutex = CreateMutexW(nullptr, FALSE, kName);
    ASSERT_NE(mutex, nullptr);
    EXPECT_LAST_ERROR(ERROR_SUCCESS);
    auto child = kvtest::RunInChild([] {
        HANDLE m = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, u"Global\\Kavrel.Remade");
        _exit(m && WaitForSingleObject(m, 0) == WAIT_OBJECT_0 ? 0 : 2);
    });
    EXPECT_EQ(child.exit_code, 0) << child.output;
    CloseHandle(mutex);
}
