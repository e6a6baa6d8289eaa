#include <gtest/gtest.h>

#include <thread>

#include "kvtest/test_env.h"
#include "win/kernel_objects.h"

namespace {

#define EXPECT_LAST_ERROR(code) EXPECT_EQ(GetLastError(), static_cast<DWORD>(code))

TEST(Mutexes, RecursiveForTheOwnerAndReleasedOnlyByIt) {
    HANDLE mutex = CreateMutexW(nullptr, TRUE, u"Global\\Kavrel.Recursive");
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0) << "the owner enters again";

    DWORD other_wait = 0;
    BOOL other_release = TRUE;
    DWORD other_error = 0;
    std::thread([&] {
        other_wait = WaitForSingleObject(mutex, 0);
        other_release = ReleaseMutex(mutex);
        other_error = GetLastError();
    }).join();
    EXPECT_EQ(other_wait, WAIT_TIMEOUT);
    EXPECT_FALSE(other_release);
    EXPECT_EQ(other_error, static_cast<DWORD>(ERROR_NOT_OWNER));

    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_FALSE(ReleaseMutex(mutex)) << "released as often as taken";
    EXPECT_LAST_ERROR(ERROR_NOT_OWNER);

    HANDLE again = CreateMutexW(nullptr, TRUE, u"Global\\Kavrel.Recursive");
    EXPECT_LAST_ERROR(ERROR_ALREADY_EXISTS);
    std::thread([&] { other_wait = WaitForSingleObject(again, 0); }).join();
    EXPECT_EQ(other_wait, WAIT_OBJECT_0) << "initial ownership is for creators only";
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_ABANDONED)
        << "the thread ended holding it: the next owner is told";
    ReleaseMutex(mutex);
    CloseHandle(again);
    CloseHandle(mutex);
}

TEST(Mutexes, AWaitForOneHandleThatIsNoWaitableObjectFails) {
    HANDLE mapping =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, nullptr);
    ASSERT_NE(mapping, nullptr);
    for (HANDLE handle : {static_cast<HANDLE>(nullptr), mapping}) {
        SetLastError(0);
        EXPECT_EQ(WaitForSingleObject(handle, 0), WAIT_FAILED);
        EXPECT_LAST_ERROR(ERROR_INVALID_HANDLE);
    }
    CloseHandle(mapping);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    CloseHandle(mutex);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_FAILED) << "a closed handle";
}

TEST(Mutexes, ATimedWaitEndsWhenTheOwnerReleases) {
    HANDLE mutex = CreateMutexW(nullptr, TRUE, nullptr);
    DWORD result = WAIT_FAILED;
    std::thread waiter([&] {
        result = WaitForSingleObject(mutex, 120000);
        ReleaseMutex(mutex);
    });
    ReleaseMutex(mutex);
    waiter.join();
    EXPECT_EQ(result, WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
}

TEST(Mutexes, AnOwnerProcessThatDiesAbandonsTheMutex) {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, u"Global\\Kavrel.Abandoned");
    auto child = kvtest::RunInChild([] {
        HANDLE m = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, u"Global\\Kavrel.Abandoned");
        if (!m || WaitForSingleObject(m, 0) != WAIT_OBJECT_0)
            _exit(2);
        _exit(0);  // dies holding it
    });
    ASSERT_EQ(child.exit_code, 0) << child.output;
    EXPECT_EQ(WaitForSingleObject(mutex, 120000), WAIT_ABANDONED);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0) << "now ours, and usable";
    ReleaseMutex(mutex);
    ReleaseMutex(mutex);

    // Among other objects the abandonment is seen as well.
    auto second = kvtest::RunInChild([] {
        HANDLE m = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, u"Global\\Kavrel.Abandoned");
        WaitForSingleObject(m, 0);
        _exit(0);
    });
    ASSERT_EQ(second.exit_code, 0);
    HANDLE handles[2] = {CreateEventW(nullptr, TRUE, FALSE, nullptr), mutex};
    EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, 120000), WAIT_ABANDONED_0 + 1);
    ReleaseMutex(mutex);
    CloseHandle(handles[0]);
    CloseHandle(mutex);
}

TEST(Mutexes, ExcludeEachOtherAcrossProcesses) {
    constexpr int kChildren = 4;
    constexpr int kRounds = 2000;
    HANDLE mutex = CreateMutexW(nullptr, FALSE, u"Global\\Kavrel.Counter.Lock");
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096,
                                        u"Global\\Kavrel.Counter");
    ASSERT_NE(mapping, nullptr);
    auto* counter =
        static_cast<volatile uint64_t*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    ASSERT_NE(counter, nullptr);
    auto results = kvtest::RunInChildren(kChildren, [](int) {
        HANDLE m = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, u"Global\\Kavrel.Counter.Lock");
        HANDLE map = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, u"Global\\Kavrel.Counter");
        auto* value =
            static_cast<volatile uint64_t*>(MapViewOfFile(map, FILE_MAP_ALL_ACCESS, 0, 0, 0));
        if (!m || !value)
            _exit(2);
        for (int i = 0; i < kRounds; ++i) {
            if (WaitForSingleObject(m, 120000) != WAIT_OBJECT_0)
                _exit(3);
            const uint64_t seen = *value;
            if ((i & 63) == 0)
                std::this_thread::yield();  // invite a race if there is one
            *value = seen + 1;
            ReleaseMutex(m);
        }
        _exit(0);
    });
    for (const auto& result : results)
        EXPECT_EQ(result.exit_code, 0) << result.output;
    EXPECT_EQ(*counter, static_cast<uint64_t>(kChildren * kRounds));
    UnmapViewOfFile(const_cast<uint64_t*>(counter));
    CloseHandle(mapping);
    CloseHandle(mutex);
}

}  // namespace
