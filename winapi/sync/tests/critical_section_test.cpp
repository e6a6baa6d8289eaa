// Critical sections: recursion and ownership, exclusion under contention, the
// initialisation rules, and ownership in a forked child.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

#include "kvtest/test_env.h"
#include "win/handles.h"
#include "win/sync.h"

namespace {

// Runs `fn` on another thread and returns its result.
template <class Fn>
auto OnOtherThread(Fn fn) {
    return std::async(std::launch::async, fn).get();
}

class CriticalSectionTest : public ::testing::Test {
  protected:
    void SetUp() override { InitializeCriticalSection(&cs_); }
    void TearDown() override { DeleteCriticalSection(&cs_); }
    CRITICAL_SECTION cs_;
};

TEST_F(CriticalSectionTest, OwnerReentersAndOthersWaitUntilEveryEnterIsLeft) {
    EnterCriticalSection(&cs_);
    EnterCriticalSection(&cs_);
    EXPECT_TRUE(TryEnterCriticalSection(&cs_));  // the owner never waits
    EXPECT_EQ(cs_.RecursionCount, 3);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(cs_.OwningThread), GetCurrentThreadId());

    EXPECT_FALSE(OnOtherThread([&] { return TryEnterCriticalSection(&cs_); }));
    LeaveCriticalSection(&cs_);
    LeaveCriticalSection(&cs_);
    EXPECT_FALSE(OnOtherThread([&] { return TryEnterCriticalSection(&cs_); }));
    LeaveCriticalSection(&cs_);
    EXPECT_EQ(cs_.OwningThread, nullptr);

    // Free now: another thread takes it, and then this one cannot.
    EXPECT_TRUE(OnOtherThread([&] {
        const BOOL got = TryEnterCriticalSection(&cs_);
        // Hand it back before the thread ends, or the section stays owned by a dead thread.
        if (got)
            LeaveCriticalSection(&cs_);
        return got;
    }));
    EXPECT_TRUE(TryEnterCriticalSection(&cs_));
    LeaveCriticalSection(&cs_);
}

TEST_F(CriticalSectionTest, LeaveByAThreadThatDoesNotOwnItChangesNothing) {
    EnterCriticalSection(&cs_);
    OnOtherThread([&] {
        LeaveCriticalSection(&cs_);
        return 0;
    });
    EXPECT_EQ(cs_.RecursionCount, 1);
    EXPECT_FALSE(OnOtherThread([&] { return TryEnterCriticalSection(&cs_); }));
    LeaveCriticalSection(&cs_);
    // A second Leave by the former owner must not free a section someone else holds.
    std::promise<void> taken, release;
    std::thread holder([&] {
        EnterCriticalSection(&cs_);
        taken.set_value();
        release.get_future().wait();
        LeaveCriticalSection(&cs_);
    });
    taken.get_future().wait();
    LeaveCriticalSection(&cs_);
    EXPECT_FALSE(TryEnterCriticalSection(&cs_));
    release.set_value();
    holder.join();
}

// Many threads increment a plain counter under the section, with and without spinning; any
// hole in the exclusion loses increments.
void CountUnderContention(LPCRITICAL_SECTION cs) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 50000;
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                EnterCriticalSection(cs);
                if (i % 7 == 0)
                    EnterCriticalSection(cs);  // recursion mixed in
                ++counter;
                if (i % 7 == 0)
                    LeaveCriticalSection(cs);
                LeaveCriticalSection(cs);
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(counter, static_cast<long>(kThreads) * kRounds);
    EXPECT_EQ(cs->OwningThread, nullptr);
    EXPECT_EQ(cs->LockCount, 0);
}

TEST_F(CriticalSectionTest, ExcludesUnderContentionWithoutSpinning) {
    CountUnderContention(&cs_);
}

TEST(CriticalSectionContention, ExcludesUnderContentionWithSpinning) {
    CRITICAL_SECTION cs;
    ASSERT_TRUE(InitializeCriticalSectionAndSpinCount(&cs, 4000));
    CountUnderContention(&cs);
    DeleteCriticalSection(&cs);
}

TEST(CriticalSectionInit, ExFlagsAndSpinCountsFollowTheWindowsRules) {
    CRITICAL_SECTION cs;
    EXPECT_TRUE(InitializeCriticalSectionEx(&cs, 100, CRITICAL_SECTION_NO_DEBUG_INFO));
    EXPECT_EQ(cs.SpinCount, 100u);
    DeleteCriticalSection(&cs);
    EXPECT_TRUE(InitializeCriticalSectionEx(&cs, 0, 0));
    DeleteCriticalSection(&cs);

    struct Bad {
        DWORD spin;
        DWORD flags;
    } const bad[] = {{0, 0x1}, {0, 0x00800000}, {0x01000000, 0}, {0x80000000, 0}};
    for (const Bad& b : bad) {
        SetLastError(0);
        EXPECT_FALSE(InitializeCriticalSectionEx(&cs, b.spin, b.flags))
            << std::hex << b.spin << " " << b.flags;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    SetLastError(0);
    EXPECT_FALSE(InitializeCriticalSectionEx(nullptr, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(InitializeCriticalSectionAndSpinCount(nullptr, 0));

    // The high byte of the spin count is ignored by InitializeCriticalSectionAndSpinCount.
    EXPECT_TRUE(InitializeCriticalSectionAndSpinCount(&cs, 0x80000010));
    EXPECT_EQ(cs.SpinCount, 0x10u);
    DeleteCriticalSection(&cs);
}

// A forked child's thread has a new id; a cached id from the parent would make the child
// believe it already owns a section the parent's thread held at the fork.
TEST(CriticalSectionFork, ChildDoesNotInheritTheParentsOwnership) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EnterCriticalSection(&cs);
    const kvtest::ChildResult child = kvtest::RunInChild([&] {
        CRITICAL_SECTION fresh;
        InitializeCriticalSection(&fresh);
        EnterCriticalSection(&fresh);
        const bool ownerIsChild =
            reinterpret_cast<uintptr_t>(fresh.OwningThread) == GetCurrentThreadId();
        // The copy of the parent's section is owned by the parent's thread id, not ours.
        const bool inherited = TryEnterCriticalSection(&cs);
        ::_exit(ownerIsChild && !inherited ? 0 : 1);
    });
    LeaveCriticalSection(&cs);
    DeleteCriticalSection(&cs);
    EXPECT_TRUE(child.exited);
    EXPECT_EQ(child.exit_code, 0) << child.output;
}

}  // namespace
