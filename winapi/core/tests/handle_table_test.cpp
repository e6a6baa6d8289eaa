#include "kvwin/handle_table.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "kvwin/last_error.h"

namespace {

struct Probe : kvwin::KernelObject {
    explicit Probe(int* destroyed) : destroyed(destroyed) {}
    ~Probe() override { ++*destroyed; }
    kvwin::HandleKind Kind() const override { return kvwin::HandleKind::Event; }
    int* destroyed;
};

TEST(HandleTable, ValuesAreMultiplesOfFourAndObjectsDieWithTheirLastHandle) {
    int destroyed = 0;
    HANDLE h = kvwin::InsertHandle(std::make_shared<Probe>(&destroyed));
    ASSERT_NE(h, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(h) % 4, 0u);

    HANDLE copy = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &copy, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    EXPECT_NE(copy, h);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(destroyed, 0) << "the duplicate still names the object";
    EXPECT_TRUE(CloseHandle(copy));
    EXPECT_EQ(destroyed, 1);
}

TEST(HandleTable, ClosedWrongAndPseudoHandles) {
    int destroyed = 0;
    HANDLE h = kvwin::InsertHandle(std::make_shared<Probe>(&destroyed));
    ASSERT_TRUE(CloseHandle(h));
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(uintptr_t{7})));
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_TRUE(CloseHandle(GetCurrentProcess()));
    EXPECT_TRUE(CloseHandle(GetCurrentThread()));

    HANDLE event = kvwin::InsertHandle(std::make_shared<Probe>(&destroyed));
    EXPECT_EQ(kvwin::LookupHandleAs<Probe>(event, kvwin::HandleKind::Mutex), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_NE(kvwin::LookupHandleAs<Probe>(event, kvwin::HandleKind::Event), nullptr);
    CloseHandle(event);
}

TEST(HandleTable, ConcurrentInsertAndCloseLeaveNothingOpen) {
    const size_t before = kvwin::OpenHandleCount();
    int destroyed[4] = {};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                HANDLE h = kvwin::InsertHandle(std::make_shared<Probe>(&destroyed[t]));
                ASSERT_NE(kvwin::LookupHandle(h), nullptr);
                ASSERT_TRUE(CloseHandle(h));
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(kvwin::OpenHandleCount(), before);
    for (int count : destroyed)
        EXPECT_EQ(count, 2000);
}

TEST(LastError, IsPerThreadAndErrnoMapsToWindowsCodes) {
    SetLastError(1234);
    std::thread([] {
        EXPECT_EQ(GetLastError(), 0u);
        SetLastError(5);
    }).join();
    EXPECT_EQ(GetLastError(), 1234u);

    EXPECT_EQ(kvwin::Win32ErrorFromErrno(ENOENT), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(kvwin::Win32ErrorFromErrno(EACCES), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(kvwin::Win32ErrorFromErrno(EEXIST), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(kvwin::Win32ErrorFromErrno(ENOSPC), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_FALSE(kvwin::FailWithErrno(ENOTEMPTY));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
}

}  // namespace
