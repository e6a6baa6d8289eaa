// Regional settings: LCID names, the data read from the locale database, and date patterns.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "kvwin/locale_data.h"
#include "kvwin/utf.h"
#include "win/oleauto.h"
#include "win/text.h"

namespace {

const kvwin::LocaleData& Need(LCID lcid) {
    static kvwin::LocaleData none;
    const kvwin::LocaleData* d = kvwin::FindLocale(lcid);
    return d ? *d : none;
}

#define REQUIRE_LOCALE(lcid)                               \
    if (!kvwin::FindLocale(lcid))                          \
    GTEST_SKIP() << "locale " << kvwin::LocaleNameOf(lcid) \
                 << " is not installed (scripts/setup.sh generates it)"

TEST(LocaleNames, LcidsAndNamesBothWays) {
    EXPECT_EQ(kvwin::LocaleNameOf(1031), "de-DE");
    EXPECT_EQ(kvwin::LocaleNameOf(2057), "en-GB");
    EXPECT_EQ(kvwin::LocaleNameOf(12345), "");
    EXPECT_EQ(kvwin::LcidOfName("de_DE.UTF-8"), 1031u);
    EXPECT_EQ(kvwin::LcidOfName("PT-br"), 1046u);
    EXPECT_EQ(kvwin::LcidOfName("ja_JP@euro"), 1041u);
    EXPECT_EQ(kvwin::LcidOfName("C.UTF-8"), 0u);
    EXPECT_EQ(kvwin::FindLocale(12345), nullptr);
}

TEST(LocaleNames, UserDefaultFollowsTheEnvironment) {
    const char* saved = std::getenv("LC_ALL");
    std::string keep = saved ? saved : "";
    setenv("LC_ALL", "fr_FR.UTF-8", 1);
    EXPECT_EQ(GetUserDefaultLCID(), 1036u);
    setenv("LC_ALL", "C", 1);  // not a region: falls through to LC_TIME / LANG or en-US
    unsetenv("LC_TIME");
    unsetenv("LANG");
    EXPECT_EQ(GetUserDefaultLCID(), 1033u);
    if (saved)
        setenv("LC_ALL", keep.c_str(), 1);
    else
        unsetenv("LC_ALL");
}

TEST(LocaleData, EnglishUSIsAlwaysThereWithWindowsPatterns) {
    const kvwin::LocaleData* d = kvwin::FindLocale(1033);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->decimal, u".");
    EXPECT_EQ(d->group, u",");
    EXPECT_EQ(d->group_size, 3);
    EXPECT_EQ(d->currency, u"$");
    EXPECT_TRUE(d->currency_first);
    EXPECT_EQ(d->months[6], u"July");
    EXPECT_EQ(d->abbrev_days[2], u"Tue");
    EXPECT_EQ(d->short_date, u"M/d/yyyy");
    EXPECT_EQ(d->first_weekday, 1);
    EXPECT_EQ(d->order, kvwin::LocaleData::Order::MonthDayYear);
}

TEST(LocaleData, SeparatorsNamesAndOrderOfOtherRegions) {
    REQUIRE_LOCALE(1031);
    REQUIRE_LOCALE(1049);
    REQUIRE_LOCALE(1041);
    const auto& de = Need(1031);
    EXPECT_EQ(de.decimal, u",");
    EXPECT_EQ(de.group, u".");
    EXPECT_EQ(de.currency, u"\u20AC");
    EXPECT_FALSE(de.currency_first);
    EXPECT_EQ(de.months[2], u"M\u00E4rz");
    EXPECT_EQ(de.first_weekday, 2);
    EXPECT_EQ(de.order, kvwin::LocaleData::Order::DayMonthYear);
    const auto& ru = Need(1049);
    // Russian declines month names inside a date; the name alone is the nominative.
    EXPECT_EQ(kvwin::ToUtf8(ru.months[0]), "Январь");
    EXPECT_EQ(kvwin::ToUtf8(ru.months_in_date[0]), "января");
    EXPECT_EQ(Need(1041).order, kvwin::LocaleData::Order::YearMonthDay);
}

TEST(DatePattern, EveryFieldWidthAndQuotedText) {
    SYSTEMTIME st{2023, 7, 2, 4, 9, 5, 3, 0};
    const auto& en = Need(1033);
    EXPECT_EQ(kvwin::FormatDateTimePattern(en, st, u"dddd, MMMM d, yyyy"),
              u"Tuesday, July 4, 2023");
    EXPECT_EQ(kvwin::FormatDateTimePattern(en, st, u"ddd dd MMM MM M yy"), u"Tue 04 Jul 07 7 23");
    EXPECT_EQ(kvwin::FormatDateTimePattern(en, st, u"h:mm:ss tt|HH|H|t"), u"9:05:03 AM|09|9|A");
    EXPECT_EQ(kvwin::FormatDateTimePattern(en, st, u"'at' h 'o''clock"), u"at 9 oclock");
    st.wHour = 0;
    EXPECT_EQ(kvwin::FormatDateTimePattern(en, st, u"h tt"), u"12 AM");
    st.wHour = 12;
    EXPECT_EQ(kvwin::FormatDateTimePattern(en, st, u"hh tt"), u"12 PM");
}

}  // namespace

namespace {

std::u16string Num(LCID lcid, double v, kvwin::NumberStyle s = {},
                   kvwin::NumberForm f = kvwin::NumberForm::Number) {
    return kvwin::FormatNumberIn(*kvwin::FindLocale(lcid), v, s, f);
}

TEST(NumberText, RoundsHalvesAwayFromZeroAtFifteenDigits) {
    EXPECT_EQ(Num(1033, 1234567.891), u"1,234,567.89");
    EXPECT_EQ(Num(1033, 0.125), u"0.13");  // a binary-exact half still rounds up
    EXPECT_EQ(Num(1033, 2.675), u"2.68");  // 2.67499999... read as 2.675
    EXPECT_EQ(Num(1033, -2.5, {0}), u"-3");
    EXPECT_EQ(Num(1033, 999.995), u"1,000.00");
    EXPECT_EQ(Num(1033, -0.001), u"0.00");  // nothing left: no sign
    EXPECT_EQ(Num(1033, 1e20, {0}), u"100,000,000,000,000,000,000");
    EXPECT_EQ(Num(1033, 0), u"0.00");
}

TEST(NumberText, EachOptionOverridesTheLocale) {
    EXPECT_EQ(Num(1033, 0.5, {1, 0}), u".5");
    EXPECT_EQ(Num(1033, -0.5, {1, -1, -1}), u"(0.5)");
    EXPECT_EQ(Num(1033, 12345, {0, -2, -2, 0}), u"12345");
    EXPECT_EQ(Num(1033, 1.5, {4}), u"1.5000");
    EXPECT_EQ(Num(1033, 0.5, {0, 0}), u"1");
    EXPECT_EQ(Num(1033, 0.256, {1}, kvwin::NumberForm::Percent), u"25.6%");
    EXPECT_EQ(Num(1033, -1234.5, {}, kvwin::NumberForm::Currency), u"-$1,234.50");
    EXPECT_EQ(Num(1033, -1234.5, {-1, -2, -1}, kvwin::NumberForm::Currency), u"($1,234.50)");
    EXPECT_EQ(kvwin::FormatScaledIn(*kvwin::FindLocale(1033), INT64_MAX, 4, {4},
                                    kvwin::NumberForm::Currency),
              u"$922,337,203,685,477.5807");
}

TEST(NumberText, SeparatorsAndSymbolOfOtherRegions) {
    REQUIRE_LOCALE(1031);
    REQUIRE_LOCALE(1036);
    EXPECT_EQ(Num(1031, 1234567.891), u"1.234.567,89");
    EXPECT_EQ(Num(1031, -1234.5, {}, kvwin::NumberForm::Currency), u"-1.234,50 \u20AC");
    std::u16string fr = Num(1036, 1234.5);
    ASSERT_EQ(fr.size(), 8u);
    EXPECT_TRUE(fr[1] == 0x202F || fr[1] == 0xA0 || fr[1] == u' ');
    EXPECT_EQ(fr.substr(2), u"234,50");
}

}  // namespace
