#include <gtest/gtest.h>

#include <thread>

#include "win/kernel_objects.h"

namespace {

DWORD WINAPI WaitThenReturn(LPVOID parameter) {
    WaitForSingleObject(static_cast<HANDLE>(parameter), INFINITE);
    return 42;
}

TEST(Threads, HandleIsSignalledWhenTheThreadEndsWithItsExitCode) {
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, WaitThenReturn, release, 0, &id);
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(GetThreadId(thread), id);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);
    SetEvent(release);
    EXPECT_EQ(WaitForSingleObject(thread, 120000), WAIT_OBJECT_0);
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 42u);
    CloseHandle(thread);
    CloseHandle(release);
}

// The pattern of a runner that waits for a worker or a cancellation, whichever comes first.
TEST(Threads, AStandardThreadAndAnEventWaitedForTogether) {
    HANDLE cancel = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE proceed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE worker_handle = nullptr;
    HANDLE got_handle = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread worker([&] {
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(),
                        &worker_handle, 0, FALSE, DUPLICATE_SAME_ACCESS);
        SetEvent(got_handle);
        WaitForSingleObject(proceed, INFINITE);
    });
    ASSERT_EQ(WaitForSingleObject(got_handle, 120000), WAIT_OBJECT_0);
    ASSERT_NE(worker_handle, nullptr);

    HANDLE both[2] = {worker_handle, cancel};
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 10), WAIT_TIMEOUT);
    SetEvent(cancel);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 120000), WAIT_OBJECT_0 + 1);
    ResetEvent(cancel);
    SetEvent(proceed);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 120000), WAIT_OBJECT_0)
        << "the thread's end wakes the wait";
    worker.join();
    for (HANDLE h : {worker_handle, cancel, proceed, got_handle})
        CloseHandle(h);
}

}  // namespace
