#include <gtest/gtest.h>
#include <time.h>

#include "kvwin/civil_time.h"
#include "win/systime.h"

namespace {

TEST(TickCount, WrapsAtTwoToTheThirtyTwoAndDifferencesSurvive) {
    constexpr uint64_t kWrap = 1ull << 32;
    EXPECT_EQ(kvwin::TickCountFromMilliseconds(kWrap - 1), 0xFFFFFFFFu);
    EXPECT_EQ(kvwin::TickCountFromMilliseconds(kWrap), 0u);
    EXPECT_EQ(kvwin::TickCountFromMilliseconds(kWrap + 5), 5u);
    EXPECT_EQ(kvwin::TickCountFromMilliseconds(3 * kWrap + 7), 7u);
    // The usual "now - start" a caller writes stays right across the wrap.
    const DWORD start = kvwin::TickCountFromMilliseconds(kWrap - 10);
    const DWORD now = kvwin::TickCountFromMilliseconds(kWrap + 20);
    EXPECT_EQ(static_cast<DWORD>(now - start), 30u);
}

TEST(TickCount, ThirtyTwoBitCountIsTheLowPartOfTheSixtyFourBitOne) {
    const ULONGLONG before = GetTickCount64();
    const DWORD mid = GetTickCount();
    const ULONGLONG after = GetTickCount64();
    ASSERT_GE(after, before);
    EXPECT_LE(static_cast<DWORD>(mid - static_cast<DWORD>(before)), after - before);
}

TEST(Clocks, SleepWaitsAtLeastAsLongAsAskedAndCountersAdvance) {
    LARGE_INTEGER frequency{}, first{}, second{};
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    EXPECT_EQ(frequency.QuadPart, 10000000);
    ASSERT_TRUE(QueryPerformanceCounter(&first));
    const ULONGLONG start = GetTickCount64();
    Sleep(30);
    // The tick moves in steps (as Windows' does, every 10 to 16 ms): within one step of 30.
    timespec step{};
    ASSERT_EQ(clock_getres(CLOCK_MONOTONIC_COARSE, &step), 0);
    const ULONGLONG stepMs = static_cast<ULONGLONG>(step.tv_nsec) / 1000000u + 1;
    EXPECT_GE(GetTickCount64() - start + stepMs, 30u);
    ASSERT_TRUE(QueryPerformanceCounter(&second));
    EXPECT_GE(second.QuadPart - first.QuadPart, 30 * frequency.QuadPart / 1000);
    Sleep(0);
    EXPECT_EQ(SleepEx(0, TRUE), 0u);
    EXPECT_FALSE(QueryPerformanceCounter(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
