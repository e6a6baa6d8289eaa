// Named objects on a file system with no room left: an error status, never a signal.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "kvtest/hostile.h"
#include "kvtest/test_env.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/kernel_objects.h"

namespace {

// Runs `body` in a child whose state root is a file system of 256 KB.
void OnSmallDisk(void (*body)()) {
    kvtest::RunOnSmallFilesystem(256 * 1024, body);
}

TEST(FullDisk, NamedObjectsFailWithDiskFullInsteadOfFaulting) {
    OnSmallDisk([] {
        // The namespace folders exist before the disk fills.
        HANDLE first = CreateEventW(nullptr, TRUE, FALSE, u"Local\\Before");
        CHILD_CHECK(first != nullptr);
        kvtest::FillFilesystem(kvtest::TestStateRoot());

        CHILD_CHECK(CreateEventW(nullptr, TRUE, FALSE, u"Local\\After") == nullptr);
        CHILD_CHECK(GetLastError() == ERROR_DISK_FULL);
        CHILD_CHECK(CreateMutexW(nullptr, TRUE, u"Global\\After") == nullptr);
        CHILD_CHECK(GetLastError() == ERROR_DISK_FULL);
        CHILD_CHECK(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 65536,
                                       u"Local\\Section") == nullptr);
        CHILD_CHECK(GetLastError() == ERROR_DISK_FULL);

        // The object made before still works, and opening it needs no room.
        CHILD_CHECK(SetEvent(first));
        HANDLE again = OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Local\\Before");
        CHILD_CHECK(again != nullptr);
        CHILD_CHECK(WaitForSingleObject(again, 0) == WAIT_OBJECT_0);
        CloseHandle(again);
        CloseHandle(first);
    });
}

TEST(FullDisk, MappingThatGrowsItsFileFailsWithDiskFull) {
    OnSmallDisk([] {
        const std::u16string path = u"C:\\grown.bin";
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        CHILD_CHECK(file != INVALID_HANDLE_VALUE);
        kvtest::FillFilesystem(kvtest::TestStateRoot());
        HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, 1 << 20, nullptr);
        CHILD_CHECK(mapping == nullptr);
        CHILD_CHECK(GetLastError() == ERROR_DISK_FULL);
        CloseHandle(file);
    });
}

}  // namespace
