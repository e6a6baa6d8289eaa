// Unnamed events and mutexes are this process's own: no shared memory behind them, and the
// same waits, wake-ups and ownership rules as named ones.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "win/errors.h"
#include "win/kernel_objects.h"

namespace {

// The process's shared anonymous mappings (the kernel names them "/dev/zero (deleted)").
int SharedAnonymousMappings() {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    int count = 0;
    while (std::getline(maps, line))
        count += line.find("/dev/zero") != std::string::npos;
    return count;
}

TEST(UnnamedObjects, MapNoSharedMemoryAndStillWakeWaitersOnOtherThreads) {
    const int before = SharedAnonymousMappings();
    std::vector<HANDLE> handles;
    for (int i = 0; i < 64; ++i) {
        handles.push_back(CreateEventW(nullptr, i % 2, FALSE, nullptr));
        handles.push_back(CreateMutexW(nullptr, FALSE, u""));  // empty is unnamed too
    }
    EXPECT_EQ(SharedAnonymousMappings(), before);
    for (HANDLE handle : handles) {
        ASSERT_NE(handle, nullptr);
        CloseHandle(handle);
    }

    // A waiter on another thread is woken by SetEvent, alone and in a multiple wait beside a
    // named event; an auto-reset event is taken by that one wait.
    HANDLE first = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE second = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE named = CreateEventW(nullptr, TRUE, FALSE, u"Local\\Kavrel.UnnamedBeside");
    DWORD single = WAIT_FAILED, multiple = WAIT_FAILED;
    std::thread waiter([&] {
        single = WaitForSingleObject(first, 120000);
        HANDLE both[] = {named, second};
        multiple = WaitForMultipleObjects(2, both, FALSE, 120000);
    });
    SetEvent(first);
    SetEvent(second);
    waiter.join();
    EXPECT_EQ(single, WAIT_OBJECT_0);
    EXPECT_EQ(multiple, WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForSingleObject(first, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);
    CloseHandle(named);
    CloseHandle(second);
    CloseHandle(first);
}

TEST(UnnamedObjects, AMutexKeepsOwnershipRulesAndTellsOfAnOwnerThreadThatEnded) {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    std::thread([&] { EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0); }).join();

    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_ABANDONED) << "its owner thread ended";
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0) << "recursive for the owner";
    BOOL released = TRUE;
    DWORD error = 0;
    std::thread([&] {
        released = ReleaseMutex(mutex);
        error = GetLastError();
    }).join();
    EXPECT_FALSE(released);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_NOT_OWNER));
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_FALSE(ReleaseMutex(mutex));

    // A duplicate is the same mutex.
    HANDLE copy = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), mutex, GetCurrentProcess(), &copy, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    EXPECT_EQ(WaitForSingleObject(copy, 0), WAIT_OBJECT_0);
    DWORD other = WAIT_FAILED;
    std::thread([&] { other = WaitForSingleObject(mutex, 0); }).join();
    EXPECT_EQ(other, static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(copy);
    CloseHandle(mutex);
}

}  // namespace
