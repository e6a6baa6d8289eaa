#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "kvtest/test_env.h"
#include "kvwin/civil_time.h"
#include "kvwin/environment_lock.h"
#include "kvwin/time_zone.h"
#include "win/systime.h"

namespace {

SYSTEMTIME Make(WORD y, WORD mo, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0) {
    SYSTEMTIME st{};
    st.wYear = y;
    st.wMonth = mo;
    st.wDay = d;
    st.wHour = h;
    st.wMinute = mi;
    st.wSecond = s;
    return st;
}

// Local time of a UTC time as "HH:MM" (day shifts show as a day prefix "dd ").
std::string Local(const TIME_ZONE_INFORMATION* tzi, const SYSTEMTIME& utc) {
    SYSTEMTIME local{};
    if (!SystemTimeToTzSpecificLocalTime(tzi, &utc, &local))
        return "failed";
    char text[32];
    std::snprintf(text, sizeof text, "%02u %02u:%02u:%02u", local.wDay, local.wHour, local.wMinute,
                  local.wSecond);
    return text;
}

std::string Utc(const TIME_ZONE_INFORMATION* tzi, const SYSTEMTIME& local) {
    SYSTEMTIME utc{};
    if (!TzSpecificLocalTimeToSystemTime(tzi, &local, &utc))
        return "failed";
    char text[32];
    std::snprintf(text, sizeof text, "%02u %02u:%02u:%02u", utc.wDay, utc.wHour, utc.wMinute,
                  utc.wSecond);
    return text;
}

void ExpectRule(const SYSTEMTIME& st, WORD month, WORD week, WORD weekday, WORD hour) {
    EXPECT_EQ(st.wYear, 0);
    EXPECT_EQ(st.wMonth, month);
    EXPECT_EQ(st.wDay, week);
    EXPECT_EQ(st.wDayOfWeek, weekday);
    EXPECT_EQ(st.wHour, hour);
    EXPECT_EQ(st.wMinute, 0);
}

TEST(TimeZone, FiveAndAHalfHoursAheadWithoutDaylightTime) {
    ::setenv("TZ", "Asia/Kolkata", 1);
    TIME_ZONE_INFORMATION tzi{};
    EXPECT_EQ(GetTimeZoneInformation(&tzi), static_cast<DWORD>(TIME_ZONE_ID_UNKNOWN));
    EXPECT_EQ(tzi.Bias, -330);
    EXPECT_EQ(tzi.StandardBias, 0);
    EXPECT_EQ(tzi.StandardDate.wMonth, 0);
    EXPECT_EQ(tzi.DaylightDate.wMonth, 0);
    EXPECT_EQ(std::u16string(tzi.StandardName), u"India Standard Time");

    EXPECT_EQ(Local(nullptr, Make(2024, 7, 1, 12, 0)), "01 17:30:00");
    EXPECT_EQ(Local(nullptr, Make(2024, 1, 1, 20, 0)), "02 01:30:00");
    EXPECT_EQ(Local(&tzi, Make(2024, 1, 1, 20, 0)), "02 01:30:00");
    EXPECT_EQ(Utc(nullptr, Make(2024, 1, 2, 1, 30)), "01 20:00:00");
    EXPECT_EQ(Utc(&tzi, Make(2024, 1, 2, 1, 30)), "01 20:00:00");

    DYNAMIC_TIME_ZONE_INFORMATION dynamic{};
    EXPECT_EQ(GetDynamicTimeZoneInformation(&dynamic), static_cast<DWORD>(TIME_ZONE_ID_UNKNOWN));
    EXPECT_EQ(dynamic.Bias, -330);
    EXPECT_EQ(std::u16string(dynamic.TimeZoneKeyName), u"India Standard Time");
}

TEST(TimeZone, NewYorkSummerAndWinter) {
    ::setenv("TZ", "America/New_York", 1);
    TIME_ZONE_INFORMATION tzi{};
    const DWORD id = GetTimeZoneInformation(&tzi);
    EXPECT_TRUE(id == TIME_ZONE_ID_STANDARD || id == TIME_ZONE_ID_DAYLIGHT) << id;
    EXPECT_EQ(tzi.Bias, 300);
    EXPECT_EQ(tzi.StandardBias, 0);
    EXPECT_EQ(tzi.DaylightBias, -60);
    ExpectRule(tzi.DaylightDate, 3, 2, 0, 2);   // second Sunday of March, 02:00
    ExpectRule(tzi.StandardDate, 11, 1, 0, 2);  // first Sunday of November, 02:00
    EXPECT_EQ(std::u16string(tzi.StandardName), u"Eastern Standard Time");
    EXPECT_EQ(std::u16string(tzi.DaylightName), u"Eastern Daylight Time");

    for (const TIME_ZONE_INFORMATION* zone : {static_cast<TIME_ZONE_INFORMATION*>(nullptr), &tzi}) {
        EXPECT_EQ(Local(zone, Make(2024, 7, 15, 12, 0)), "15 08:00:00");
        EXPECT_EQ(Local(zone, Make(2024, 1, 15, 12, 0)), "15 07:00:00");
        // The spring-forward instant: 2024-03-10 07:00 UTC.
        EXPECT_EQ(Local(zone, Make(2024, 3, 10, 6, 59, 59)), "10 01:59:59");
        EXPECT_EQ(Local(zone, Make(2024, 3, 10, 7, 0, 0)), "10 03:00:00");
        // The fall-back instant: 2024-11-03 06:00 UTC.
        EXPECT_EQ(Local(zone, Make(2024, 11, 3, 5, 59, 59)), "03 01:59:59");
        EXPECT_EQ(Local(zone, Make(2024, 11, 3, 6, 0, 0)), "03 01:00:00");
        EXPECT_EQ(Utc(zone, Make(2024, 7, 15, 8, 0)), "15 12:00:00");
        EXPECT_EQ(Utc(zone, Make(2024, 1, 15, 7, 0)), "15 12:00:00");
    }
}

TEST(TimeZone, NullZoneUsesHistoryButAStructureUsesItsOwnRule) {
    ::setenv("TZ", "America/New_York", 1);
    TIME_ZONE_INFORMATION tzi{};
    GetTimeZoneInformation(&tzi);
    // In 2006 daylight time still began on the first Sunday of April.
    EXPECT_EQ(Local(nullptr, Make(2006, 3, 20, 12, 0)), "20 07:00:00");
    EXPECT_EQ(Local(&tzi, Make(2006, 3, 20, 12, 0)), "20 08:00:00");
    // 1990 had neither rule for late March.
    EXPECT_EQ(Local(nullptr, Make(1990, 3, 20, 12, 0)), "20 07:00:00");
}

TEST(TimeZone, BerlinSummerAndWinter) {
    ::setenv("TZ", ":Europe/Berlin", 1);
    TIME_ZONE_INFORMATION tzi{};
    GetTimeZoneInformation(&tzi);
    EXPECT_EQ(tzi.Bias, -60);
    EXPECT_EQ(tzi.DaylightBias, -60);
    ExpectRule(tzi.DaylightDate, 3, 5, 0, 2);   // last Sunday of March, 02:00
    ExpectRule(tzi.StandardDate, 10, 5, 0, 3);  // last Sunday of October, 03:00
    EXPECT_EQ(std::u16string(tzi.StandardName), u"W. Europe Standard Time");
    for (const TIME_ZONE_INFORMATION* zone : {static_cast<TIME_ZONE_INFORMATION*>(nullptr), &tzi}) {
        EXPECT_EQ(Local(zone, Make(2024, 7, 15, 12, 0)), "15 14:00:00");
        EXPECT_EQ(Local(zone, Make(2024, 1, 15, 12, 0)), "15 13:00:00");
        EXPECT_EQ(Local(zone, Make(2024, 3, 31, 0, 59, 59)), "31 01:59:59");
        EXPECT_EQ(Local(zone, Make(2024, 3, 31, 1, 0, 0)), "31 03:00:00");
        EXPECT_EQ(Local(zone, Make(2024, 10, 27, 1, 0, 0)), "27 02:00:00");
    }
}

TEST(TimeZone, SouthernHemisphereDaylightSpansTheNewYear) {
    ::setenv("TZ", "Australia/Sydney", 1);
    TIME_ZONE_INFORMATION tzi{};
    GetTimeZoneInformation(&tzi);
    EXPECT_EQ(tzi.Bias, -600);
    ExpectRule(tzi.DaylightDate, 10, 1, 0, 2);
    ExpectRule(tzi.StandardDate, 4, 1, 0, 3);
    for (const TIME_ZONE_INFORMATION* zone : {static_cast<TIME_ZONE_INFORMATION*>(nullptr), &tzi}) {
        EXPECT_EQ(Local(zone, Make(2024, 1, 15, 0, 0)), "15 11:00:00");
        EXPECT_EQ(Local(zone, Make(2024, 7, 15, 0, 0)), "15 10:00:00");
        EXPECT_EQ(Local(zone, Make(2024, 12, 31, 12, 0)), "31 23:00:00");
    }
}

TEST(TimeZone, PosixRuleStrings) {
    ::setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
    TIME_ZONE_INFORMATION tzi{};
    GetTimeZoneInformation(&tzi);
    EXPECT_EQ(tzi.Bias, 300);
    EXPECT_EQ(tzi.DaylightBias, -60);
    ExpectRule(tzi.DaylightDate, 3, 2, 0, 2);
    ExpectRule(tzi.StandardDate, 11, 1, 0, 2);
    EXPECT_EQ(std::u16string(tzi.StandardName), u"EST");
    EXPECT_EQ(std::u16string(tzi.DaylightName), u"EDT");
    EXPECT_EQ(Local(nullptr, Make(2024, 7, 15, 12, 0)), "15 08:00:00");
    // A rule string knows no history: 2006 follows today's rule.
    EXPECT_EQ(Local(nullptr, Make(2006, 3, 20, 12, 0)), "20 08:00:00");

    ::setenv("TZ", "<+0530>-5:30", 1);
    EXPECT_EQ(GetTimeZoneInformation(&tzi), static_cast<DWORD>(TIME_ZONE_ID_UNKNOWN));
    EXPECT_EQ(tzi.Bias, -330);
    EXPECT_EQ(std::u16string(tzi.StandardName), u"+0530");

    // Explicit times, odd hours past midnight and day-of-year forms.
    const auto rule = kvwin::ParsePosixZone("IST-2IDT,M3.4.4/26,M10.5.0");
    ASSERT_TRUE(rule.has_value());
    EXPECT_EQ(rule->start.time, 26 * 3600);
    EXPECT_EQ(rule->std_offset, 7200);
    EXPECT_EQ(rule->dst_offset, 10800);
    const auto julian = kvwin::ParsePosixZone("ABC-1DEF-3:30:15,J60/0,300/-1");
    ASSERT_TRUE(julian.has_value());
    EXPECT_EQ(julian->dst_offset, 3 * 3600 + 30 * 60 + 15);
    EXPECT_EQ(julian->end.time, -3600);
    // J60 is 1 March whether or not the year is a leap year; 59 counts 29 February.
    EXPECT_EQ(julian->start.LocalSecondsIn(2024) / 86400, 19783);  // 2024-03-01
    for (const char* bad : {"", "E5", "EST", "EST5EDT,M13.1.0,M11.1.0", "EST5EDT,M3.6.0,M11.1.0",
                            "EST5EDT,M3.2.0", "<+05", "EST5EDT,M3.2.0,M11.1.0junk"}) {
        EXPECT_FALSE(kvwin::ParsePosixZone(bad).has_value()) << bad;
    }
}

TEST(TimeZone, UnsetEmptyAndUnknownValues) {
    ::unsetenv("TZ");
    TIME_ZONE_INFORMATION unset{};
    GetTimeZoneInformation(&unset);
    if (::access("/etc/localtime", R_OK) == 0) {
        ::setenv("TZ", "/etc/localtime", 1);
        TIME_ZONE_INFORMATION file{};
        GetTimeZoneInformation(&file);
        EXPECT_EQ(unset.Bias, file.Bias);
        EXPECT_EQ(unset.DaylightDate.wMonth, file.DaylightDate.wMonth);
    } else {
        EXPECT_EQ(unset.Bias, 0);
    }
    for (const char* utc_like : {"", ":", "Nowhere/Bogus", "../../etc/passwd", "UTC"}) {
        ::setenv("TZ", utc_like, 1);
        TIME_ZONE_INFORMATION tzi{};
        EXPECT_EQ(GetTimeZoneInformation(&tzi), static_cast<DWORD>(TIME_ZONE_ID_UNKNOWN))
            << utc_like;
        EXPECT_EQ(tzi.Bias, 0) << utc_like;
        EXPECT_EQ(Local(nullptr, Make(2024, 7, 15, 12, 0)), "15 12:00:00");
    }
    ::setenv("TZ", "UTC", 1);
    TIME_ZONE_INFORMATION tzi{};
    GetTimeZoneInformation(&tzi);
    EXPECT_EQ(std::u16string(tzi.StandardName), u"Coordinated Universal Time");
}

TEST(TimeZone, DamagedZoneFilesFallBackToUtc) {
    std::ifstream in("/usr/share/zoneinfo/America/New_York", std::ios::binary);
    ASSERT_TRUE(in.good());
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_TRUE(kvwin::ParseTzif(bytes, "ny").has_value());
    for (size_t cut : {size_t{0}, size_t{10}, size_t{44}, size_t{100}, bytes.size() / 2}) {
        EXPECT_FALSE(kvwin::ParseTzif(bytes.substr(0, cut), "cut").has_value()) << cut;
    }
    std::string corrupt = bytes;
    corrupt[4 + 1 + 15 + 16 + 3] = '\x7f';  // an absurd transition count
    EXPECT_FALSE(kvwin::ParseTzif(corrupt, "corrupt").has_value());

    const std::string folder = kvtest::MakeTempFolder("tz");
    const std::string path = folder + "/Broken";
    std::ofstream(path, std::ios::binary) << bytes.substr(0, 120);
    ::setenv("TZ", path.c_str(), 1);
    TIME_ZONE_INFORMATION tzi{};
    EXPECT_EQ(GetTimeZoneInformation(&tzi), static_cast<DWORD>(TIME_ZONE_ID_UNKNOWN));
    EXPECT_EQ(tzi.Bias, 0);
}

TEST(TimeZone, BadArgumentsFailCleanly) {
    ::setenv("TZ", "America/New_York", 1);
    TIME_ZONE_INFORMATION tzi{};
    GetTimeZoneInformation(&tzi);
    SYSTEMTIME out{};
    SYSTEMTIME bad_date = Make(2024, 2, 30, 12);
    EXPECT_FALSE(SystemTimeToTzSpecificLocalTime(nullptr, &bad_date, &out));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    TIME_ZONE_INFORMATION broken = tzi;
    broken.DaylightDate.wDay = 6;
    const SYSTEMTIME ok = Make(2024, 7, 1);
    EXPECT_FALSE(SystemTimeToTzSpecificLocalTime(&broken, &ok, &out));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(TzSpecificLocalTimeToSystemTime(&broken, &ok, &out));
    EXPECT_EQ(GetTimeZoneInformation(nullptr), TIME_ZONE_ID_INVALID);
    // Shifting past the last representable year fails rather than wrapping.
    const SYSTEMTIME last = Make(30827, 12, 31, 23, 59, 59);
    ::setenv("TZ", "Asia/Kolkata", 1);
    EXPECT_FALSE(SystemTimeToTzSpecificLocalTime(nullptr, &last, &out));
}

TEST(TimeZone, ConversionsStayRightWhileAnotherThreadSwitchesZones) {
    kvwin::SetEnvUtf8("TZ", std::string("Asia/Kolkata"));
    const SYSTEMTIME utc = Make(2024, 7, 15, 12, 0);
    std::vector<std::thread> readers;
    std::vector<int> wrong(4, 0);
    for (int r = 0; r < 4; ++r) {
        readers.emplace_back([&, r] {
            for (int i = 0; i < 3000; ++i) {
                const std::string got = Local(nullptr, utc);
                // Either zone may be current, but never a mixture or a failure.
                if (got != "15 17:30:00" && got != "15 14:00:00")
                    ++wrong[r];
            }
        });
    }
    for (int i = 0; i < 3000; ++i) {
        kvwin::SetEnvUtf8("TZ", std::string(i % 2 ? "Europe/Berlin" : "Asia/Kolkata"));
    }
    for (auto& reader : readers)
        reader.join();
    for (int r = 0; r < 4; ++r)
        EXPECT_EQ(wrong[r], 0) << "reader " << r;
}

}  // namespace

namespace {

bool SameType(const kvwin::LocalTimeType& a, const kvwin::LocalTimeType& b) {
    return a.offset == b.offset && a.is_dst == b.is_dst;
}

// The next change a zone names is never later than a real one: hour by hour over four years,
// nothing changes before it, and a change within the hour is not passed over.
void ExpectNoChangeIsMissed(const kvwin::ZoneInfo& zone) {
    const int64_t from = kvwin::DaysFromCivil(2023, 1, 1) * 86400;
    const int64_t to = kvwin::DaysFromCivil(2027, 1, 1) * 86400;
    for (int64_t t = from; t < to; t += 3600) {
        const int64_t next = zone.NextChangeAfter(t);
        ASSERT_GT(next, t) << zone.name;
        const kvwin::LocalTimeType now = zone.At(t);
        if (next != INT64_MAX) {
            ASSERT_TRUE(SameType(zone.At(next - 1), now)) << zone.name << " at " << next - 1;
        }
        if (!SameType(zone.At(t + 3600), now)) {
            ASSERT_LE(next, t + 3600) << zone.name << " after " << t;
        }
    }
}

}  // namespace

TEST(TimeZone, NextChangeIsNeverLaterThanARealOne) {
    for (const char* name : {"America/New_York", "Australia/Sydney", "Europe/Berlin",
                             "Asia/Kolkata", "America/Santiago", "EST5EDT,J60/2,J300/2",
                             "<+1030>-10:30<+11>-11,M10.1.0,M4.1.0", "UTC"})
        ExpectNoChangeIsMissed(kvwin::LoadZone(std::string(name)));
    // A zone with a transition table and no rule: constant after its last transition.
    kvwin::ZoneInfo table = kvwin::LoadZone(std::string("America/New_York"));
    table.rule.reset();
    EXPECT_EQ(table.NextChangeAfter(table.transitions.back()), INT64_MAX);
    ExpectNoChangeIsMissed(table);
}

TEST(TimeZone, KeptAnswersFollowTheZoneValue) {
    // The local time and the zone information are kept between calls; a new TZ value is seen
    // at once, and the old one's answers are not given for it.
    for (int round = 0; round < 2; ++round) {
        for (const auto& [tz, bias] : {std::pair<const char*, LONG>{"Asia/Kolkata", -330},
                                       {"UTC", 0},
                                       {"<-0930>9:30", 570}}) {
            kvwin::SetEnvUtf8("TZ", std::string(tz));
            TIME_ZONE_INFORMATION tzi{};
            ASSERT_NE(GetTimeZoneInformation(&tzi), static_cast<DWORD>(TIME_ZONE_ID_INVALID));
            EXPECT_EQ(tzi.Bias, bias) << tz;
            SYSTEMTIME utc{}, local{};
            GetSystemTime(&utc);
            GetLocalTime(&local);
            FILETIME u{}, l{};
            ASSERT_TRUE(SystemTimeToFileTime(&utc, &u) && SystemTimeToFileTime(&local, &l));
            // Rounded: the two reads are moments apart.
            const double ticks =
                static_cast<double>(static_cast<int64_t>(l.dwHighDateTime) << 32 |
                                    l.dwLowDateTime) -
                static_cast<double>(static_cast<int64_t>(u.dwHighDateTime) << 32 | u.dwLowDateTime);
            const int64_t minutes = std::llround(ticks / 600000000.0);
            EXPECT_EQ(minutes, -bias) << tz;
        }
    }
}
