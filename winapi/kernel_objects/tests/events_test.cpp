#include <gtest/gtest.h>

#include <thread>

#include "kvtest/test_env.h"
#include "win/kernel_objects.h"

namespace {

#define EXPECT_LAST_ERROR(code) EXPECT_EQ(GetLastError(), static_cast<DWORD>(code))

TEST(Events, ManualAndAutoResetSemantics) {
    HANDLE manual = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE automatic = CreateEventW(nullptr, FALSE, TRUE, nullptr);
    ASSERT_NE(manual, nullptr);
    ASSERT_NE(automatic, nullptr);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);
    ASSERT_TRUE(SetEvent(manual));
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0) << "a manual event stays set";
    ASSERT_TRUE(ResetEvent(manual));
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);

    EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0) << "initially set";
    EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_TIMEOUT) << "the wait reset it";
    CloseHandle(manual);
    CloseHandle(automatic);
    EXPECT_FALSE(SetEvent(manual));
    EXPECT_LAST_ERROR(ERROR_INVALID_HANDLE);
}

TEST(Events, NamesNamespacesAndLifetime) {
    HANDLE first = CreateEventW(nullptr, TRUE, FALSE, u"Local\\Kavrel.Test");
    ASSERT_NE(first, nullptr);
    EXPECT_LAST_ERROR(ERROR_SUCCESS);
    SetEvent(first);
    HANDLE second = CreateEventW(nullptr, FALSE, FALSE, u"Kavrel.Test");
    ASSERT_NE(second, nullptr);
    EXPECT_LAST_ERROR(ERROR_ALREADY_EXISTS) << "no prefix means the session namespace";
    EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0) << "the existing state is kept";
    EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0) << "and so is its manual reset";

    HANDLE global = CreateEventW(nullptr, TRUE, FALSE, u"Global\\Kavrel.Test");
    EXPECT_LAST_ERROR(ERROR_SUCCESS) << "Global and Local are separate namespaces";
    EXPECT_EQ(WaitForSingleObject(global, 0), WAIT_TIMEOUT);
    EXPECT_EQ(CreateMutexW(nullptr, FALSE, u"Global\\Kavrel.Test"), nullptr);
    EXPECT_LAST_ERROR(ERROR_INVALID_HANDLE) << "a name taken by an object of another kind";
    EXPECT_EQ(CreateEventW(nullptr, TRUE, FALSE, u"Global\\a\\b"), nullptr);
    EXPECT_LAST_ERROR(ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Global\\Nobody"), nullptr);
    EXPECT_LAST_ERROR(ERROR_FILE_NOT_FOUND);

    CloseHandle(first);
    CloseHandle(second);
    CloseHandle(global);
    HANDLE fresh = CreateEventW(nullptr, TRUE, FALSE, u"Kavrel.Test");
    EXPECT_LAST_ERROR(ERROR_SUCCESS) << "the last handle took the object with it";
    EXPECT_EQ(WaitForSingleObject(fresh, 0), WAIT_TIMEOUT);
    CloseHandle(fresh);
    EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Kavrel.Test"), nullptr);
    EXPECT_LAST_ERROR(ERROR_FILE_NOT_FOUND);
}

// One process waits for the other's signal and answers with its own. Both are children of a
// single-threaded parent: a fork from a process with other threads busy in the layer could
// inherit a lock held by one of them.
TEST(Events, WakeWaitersInOtherProcesses) {
    HANDLE go = CreateEventW(nullptr, FALSE, FALSE, u"Global\\Kavrel.Go");
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, u"Global\\Kavrel.Done");
    const auto results = kvtest::RunInChildren(2, [](int index) {
        HANDLE go = OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, u"Global\\Kavrel.Go");
        HANDLE done = OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, u"Global\\Kavrel.Done");
        if (!go || !done)
            _exit(2);
        if (index == 0) {
            if (WaitForSingleObject(go, 120000) != WAIT_OBJECT_0)
                _exit(3);
            SetEvent(done);
        } else {
            SetEvent(go);
            if (WaitForSingleObject(done, 120000) != WAIT_OBJECT_0)
                _exit(4);
        }
        _exit(0);
    });
    for (const kvtest::ChildResult& child : results)
        EXPECT_EQ(child.exit_code, 0) << child.output;
    EXPECT_EQ(WaitForSingleObject(done, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(go, 0), WAIT_TIMEOUT) << "the waiter took the auto-reset signal";
    CloseHandle(go);
    CloseHandle(done);
}

TEST(Waits, AnyReportsTheLowestSignalledIndexAndAllNeedsEveryObject) {
    HANDLE events[3];
    for (HANDLE& e : events)
        e = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_TIMEOUT);
    SetEvent(events[2]);
    SetEvent(events[1]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForMultipleObjects(3, events, TRUE, 0), WAIT_TIMEOUT);
    SetEvent(events[0]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, TRUE, 0), WAIT_OBJECT_0);

    HANDLE automatic[2] = {CreateEventW(nullptr, FALSE, TRUE, nullptr),
                           CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    EXPECT_EQ(WaitForMultipleObjects(2, automatic, TRUE, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(automatic[0], 0), WAIT_OBJECT_0)
        << "a wait for all that failed took nothing";

    HANDLE bad[2] = {events[0], reinterpret_cast<HANDLE>(uintptr_t{4000})};
    EXPECT_EQ(WaitForMultipleObjects(2, bad, FALSE, 0), WAIT_FAILED);
    EXPECT_LAST_ERROR(ERROR_INVALID_HANDLE);
    EXPECT_EQ(WaitForMultipleObjects(0, events, FALSE, 0), WAIT_FAILED);
    EXPECT_LAST_ERROR(ERROR_INVALID_PARAMETER);
    for (HANDLE e : events)
        CloseHandle(e);
    for (HANDLE e : automatic)
        CloseHandle(e);
}

TEST(Waits, ASleepingWaiterIsWokenBySetEvent) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    DWORD result = WAIT_FAILED;
    std::thread waiter([&] { result = WaitForSingleObject(event, INFINITE); });
    SetEvent(event);
    waiter.join();
    EXPECT_EQ(result, WAIT_OBJECT_0);
    CloseHandle(event);
}

}  // namespace
