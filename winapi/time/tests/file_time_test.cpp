#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "kvwin/civil_time.h"
#include "win/systime.h"

namespace {

SYSTEMTIME Make(WORD y, WORD mo, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0, WORD ms = 0) {
    SYSTEMTIME st{};
    st.wYear = y;
    st.wMonth = mo;
    st.wDay = d;
    st.wHour = h;
    st.wMinute = mi;
    st.wSecond = s;
    st.wMilliseconds = ms;
    return st;
}

uint64_t Value(const FILETIME& ft) {
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

FILETIME FromValue(uint64_t v) {
    return FILETIME{static_cast<DWORD>(v), static_cast<DWORD>(v >> 32)};
}

TEST(FileTime, KnownInstantsAndWeekdays) {
    FILETIME ft{};
    SYSTEMTIME epoch = Make(1601, 1, 1);
    ASSERT_TRUE(SystemTimeToFileTime(&epoch, &ft));
    EXPECT_EQ(Value(ft), 0u);
    SYSTEMTIME unix_epoch = Make(1970, 1, 1);
    ASSERT_TRUE(SystemTimeToFileTime(&unix_epoch, &ft));
    EXPECT_EQ(Value(ft), 116444736000000000ull);

    SYSTEMTIME st{};
    FILETIME monday = FromValue(116444736000000000ull + 1721044800ull * 10000000ull + 1234567);
    ASSERT_TRUE(FileTimeToSystemTime(&monday, &st));  // 2024-07-15 12:00:00.123 UTC
    EXPECT_EQ(st.wYear, 2024);
    EXPECT_EQ(st.wMonth, 7);
    EXPECT_EQ(st.wDay, 15);
    EXPECT_EQ(st.wDayOfWeek, 1);
    EXPECT_EQ(st.wHour, 12);
    EXPECT_EQ(st.wMilliseconds, 123);

    SYSTEMTIME last{};
    FILETIME max = FromValue(0x7FFFFFFFFFFFFFFFull);
    ASSERT_TRUE(FileTimeToSystemTime(&max, &last));
    EXPECT_EQ(last.wYear, 30828);
}

TEST(FileTime, RoundTripsThroughSystemTime) {
    std::mt19937_64 random(20261206);
    for (int i = 0; i < 2000; ++i) {
        // Millisecond precision is what SYSTEMTIME keeps.
        const uint64_t value = (random() % 0x0200000000000000ull) / 10000 * 10000;
        FILETIME ft = FromValue(value), back{};
        SYSTEMTIME st{};
        ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
        ASSERT_TRUE(SystemTimeToFileTime(&st, &back));
        ASSERT_EQ(Value(back), value);
    }
}

TEST(FileTime, InvalidSystemTimesAreRejected) {
    const SYSTEMTIME bad[] = {
        Make(2023, 2, 29),       Make(2100, 2, 29),          Make(2024, 13, 1),
        Make(2024, 0, 1),        Make(2024, 4, 31),          Make(2024, 1, 0),
        Make(1600, 12, 31),      Make(30828, 1, 1),          Make(2024, 1, 1, 24),
        Make(2024, 1, 1, 0, 60), Make(2024, 1, 1, 0, 0, 60), Make(2024, 1, 1, 0, 0, 0, 1000),
    };
    for (const SYSTEMTIME& st : bad) {
        FILETIME ft{0x1234, 0x5678};
        SetLastError(0);
        EXPECT_FALSE(SystemTimeToFileTime(&st, &ft))
            << st.wYear << "-" << st.wMonth << "-" << st.wDay << " " << st.wHour;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    FILETIME ft{};
    SYSTEMTIME leap = Make(2000, 2, 29, 23, 59, 59, 999);
    leap.wDayOfWeek = 6;  // ignored, even when wrong
    EXPECT_TRUE(SystemTimeToFileTime(&leap, &ft));

    SYSTEMTIME st{};
    FILETIME too_big = FromValue(0x8000000000000000ull);
    EXPECT_FALSE(FileTimeToSystemTime(&too_big, &st));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(FileTime, CompareOrdersByFullSixtyFourBits) {
    const FILETIME a = FromValue(0x00000001FFFFFFFFull);
    const FILETIME b = FromValue(0x0000000200000000ull);
    EXPECT_EQ(CompareFileTime(&a, &b), -1);
    EXPECT_EQ(CompareFileTime(&b, &a), 1);
    EXPECT_EQ(CompareFileTime(&a, &a), 0);
}

TEST(FileTime, LocalFileTimeUsesTheCurrentOffset) {
    ::setenv("TZ", "Asia/Kolkata", 1);
    const FILETIME utc = FromValue(133000000000000000ull);
    FILETIME local{}, back{};
    ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
    EXPECT_EQ(Value(local) - Value(utc), 330ull * 60 * 10000000);
    ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back));
    EXPECT_EQ(Value(back), Value(utc));

    SYSTEMTIME system{}, local_now{};
    GetSystemTime(&system);
    GetLocalTime(&local_now);
    FILETIME a{}, b{};
    ASSERT_TRUE(SystemTimeToFileTime(&system, &a));
    ASSERT_TRUE(SystemTimeToFileTime(&local_now, &b));
    const int64_t diff_seconds =
        (static_cast<int64_t>(Value(b)) - static_cast<int64_t>(Value(a))) / 10000000;
    EXPECT_NEAR(static_cast<double>(diff_seconds), 330.0 * 60, 60.0);

    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    EXPECT_NEAR(static_cast<double>(Value(now)), static_cast<double>(Value(a)), 60e7);
}

}  // namespace
