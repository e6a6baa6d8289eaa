// Interlocked operations: the value each returns, and atomicity under contention.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "win/sync.h"

namespace {

TEST(Interlocked, ReturnNewValueForIncrementDecrementAddAndOldValueForTheRest) {
    LONG v = 5;
    EXPECT_EQ(InterlockedIncrement(&v), 6);
    EXPECT_EQ(InterlockedDecrement(&v), 5);
    EXPECT_EQ(InterlockedExchangeAdd(&v, 10), 5);
    EXPECT_EQ(v, 15);
    EXPECT_EQ(InterlockedAdd(&v, -20), -5);
    EXPECT_EQ(InterlockedExchange(&v, 42), -5);
    EXPECT_EQ(v, 42);

    // CompareExchange returns the initial value whether or not it swapped.
    EXPECT_EQ(InterlockedCompareExchange(&v, 7, 41), 42);
    EXPECT_EQ(v, 42);
    EXPECT_EQ(InterlockedCompareExchange(&v, 7, 42), 42);
    EXPECT_EQ(v, 7);

    LONG wrap = 0x7FFFFFFF;
    EXPECT_EQ(InterlockedIncrement(&wrap), static_cast<LONG>(0x80000000));

    int a = 0, b = 0;
    PVOID p = &a;
    EXPECT_EQ(InterlockedExchangePointer(&p, &b), &a);
    EXPECT_EQ(InterlockedCompareExchangePointer(&p, nullptr, &a), &b);
    EXPECT_EQ(p, &b);
    EXPECT_EQ(InterlockedCompareExchangePointer(&p, nullptr, &b), &b);
    EXPECT_EQ(p, nullptr);
}

TEST(Interlocked, SixtyFourBitVariantsCarryAcrossThe32BitBoundary) {
    LONG64 v = 0xFFFFFFFFLL;
    EXPECT_EQ(InterlockedIncrement64(&v), 0x100000000LL);
    EXPECT_EQ(InterlockedDecrement64(&v), 0xFFFFFFFFLL);
    EXPECT_EQ(InterlockedExchangeAdd64(&v, 1), 0xFFFFFFFFLL);
    EXPECT_EQ(InterlockedAdd64(&v, 0x100000000LL), 0x200000000LL);
    EXPECT_EQ(InterlockedExchange64(&v, -1), 0x200000000LL);
    EXPECT_EQ(InterlockedCompareExchange64(&v, 3, 0xFFFFFFFFLL), -1);  // no match: no swap
    EXPECT_EQ(v, -1);
    EXPECT_EQ(InterlockedCompareExchange64(&v, 0x300000000LL, -1), -1);
    EXPECT_EQ(v, 0x300000000LL);
}

TEST(Interlocked, CountsExactlyUnderContention) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 100000;
    LONG up = 0, down = 0;
    LONG64 big = 1LL << 40;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                InterlockedIncrement(&up);
                InterlockedExchangeAdd(&down, -2);
                InterlockedIncrement64(&big);
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(up, kThreads * kRounds);
    EXPECT_EQ(down, -2 * kThreads * kRounds);
    EXPECT_EQ(big, (1LL << 40) + kThreads * kRounds);
}

// A lock made of CompareExchange and Exchange guards plain data only if both are full
// barriers and CompareExchange reports failure correctly.
TEST(Interlocked, CompareExchangeBuildsAWorkingLock) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 20000;
    LONG lock = 0;
    long plain = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                while (InterlockedCompareExchange(&lock, 1, 0) != 0)
                    std::this_thread::yield();
                ++plain;
                MemoryBarrier();
                InterlockedExchange(&lock, 0);
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(plain, static_cast<long>(kThreads) * kRounds);
}

}  // namespace
