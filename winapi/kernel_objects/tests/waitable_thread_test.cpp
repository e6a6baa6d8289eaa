// A standard thread waited for together with an event, then joined.
#include <gtest/gtest.h>

#include <atomic>

#include "kvwin/handle_table.h"
#include "kvwin/waitable_thread.h"
#include "win/kernel_objects.h"

namespace {

TEST(WaitableThread, TheHandleIsSignalledOnlyWhenTheBodyHasReturned) {
    HANDLE cancel = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE proceed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> finished{false};
    {
        kvwin::WaitableThread worker([&] {
            WaitForSingleObject(proceed, INFINITE);
            finished = true;
        });
        HANDLE both[2] = {worker.handle(), cancel};
        EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 20), static_cast<DWORD>(WAIT_TIMEOUT));
        SetEvent(cancel);
        EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 120000), WAIT_OBJECT_0 + 1);
        ResetEvent(cancel);
        SetEvent(proceed);
        EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 120000), WAIT_OBJECT_0);
        EXPECT_TRUE(finished) << "signalled before the body returned";
        EXPECT_NE(GetThreadId(worker.handle()), 0u);
        DWORD code = STILL_ACTIVE;
        EXPECT_TRUE(GetExitCodeThread(worker.handle(), &code));
        EXPECT_EQ(code, 0u);
        worker.join();
        EXPECT_FALSE(worker.joinable());
    }
    CloseHandle(cancel);
    CloseHandle(proceed);
}

TEST(WaitableThread, AnInstantBodyIsNotMissedAndTheDestructorJoinsAndClosesTheHandle) {
    const size_t before = kvwin::OpenHandleCount();
    {
        kvwin::WaitableThread worker([] {});
        EXPECT_EQ(kvwin::OpenHandleCount(), before + 1);
        EXPECT_EQ(WaitForSingleObject(worker.handle(), 120000), WAIT_OBJECT_0);
    }  // not joined by hand: the destructor does it
    EXPECT_EQ(kvwin::OpenHandleCount(), before);
}

}  // namespace
