// The runtime library against its surroundings: the host's locale, the locale scripts (run
// only where the system has the locales), and the WMI date examples against the WMI query
// conversions of the same values.
#include <clocale>
#include <fstream>
#include <sstream>

#include "convert.h"
#include "kvwin/civil_time.h"
#include "kvwin/locale_data.h"
#include "kvwin/utf.h"
#include "vbs_test_support.h"

namespace vbstest {
namespace {

TEST(ScriptLocale, TheSiteNamesItAndSetLocaleOverridesItForThisScriptOnly) {
    if (!kvwin::FindLocale(1031))
        GTEST_SKIP() << "locale de-DE is not installed (scripts/setup.sh generates it)";
    ScopedApartment apartment;
    Script s(false);
    s.site->lcid = 1031;
    EXPECT_EQ(Evaluate(s, u"Dim a : a = FormatNumber(1234.5)",
                       u"a & \"|\" & GetLocale() & \"|\" & SetLocale(1033) & \"|\" & "
                       u"FormatNumber(1234.5)"),
              u"1.234,50|1031|1031|1,234.50");
    // Another engine on the same site keeps the site's locale.
    Script other(false);
    other.site->lcid = 1031;
    EXPECT_EQ(Evaluate(other, u"", u"FormatNumber(0.5)"), u"0,50");
}

// Numeric texts read with a locale's separators; made-up locales, so no installed locale is
// needed.
TEST(NumberTexts, SeparatorsOfTheLocaleAndTheirLimits) {
    kvwin::LocaleData comma;
    comma.decimal = u",";
    comma.group = u".";
    kvwin::LocaleData spaced;
    spaced.decimal = u",";
    spaced.group = u"\u202F";
    kvwin::LocaleData wide;  // separators of more than one character
    wide.decimal = u"::";
    wide.group = u"''";
    struct Case {
        const kvwin::LocaleData* locale;
        std::u16string_view text;
        bool ok;
        double value;
    } cases[] = {
        {nullptr, u" 1,234.5 ", true, 1234.5},
        {nullptr, u"1,5", true, 15},
        {nullptr, u",5", false, 0},
        {nullptr, u"1,", false, 0},
        {nullptr, u"1,,5", false, 0},
        {nullptr, u"1.5,5", false, 0},
        {nullptr, u"+.5e+2", true, 50},
        {nullptr, u"5.", true, 5},
        {nullptr, u"-", false, 0},
        {nullptr, u"1e", false, 0},
        {nullptr, u"1e-", false, 0},
        {nullptr, u"1e400", false, 0},
        {nullptr, u"1e-400", true, 0},
        {nullptr, u"&HFFFF", true, -1},
        {nullptr, u"&H10000", true, 65536},
        {nullptr, u"&O777", true, 511},
        {nullptr, u"&O8", false, 0},
        {nullptr, u"&Oa", false, 0},
        {nullptr, u"&hff", true, 255},
        {nullptr, u"&HFFFFFFFF1", false, 0},
        {nullptr, u"&H1G", false, 0},
        {nullptr, u"1\u00A0000", false, 0},
        {&comma, u"-1.234.567,25", true, -1234567.25},
        {&comma, u"1,5e2", true, 150},
        {&comma, u"1.5", true, 15},
        {&comma, u"1,5,5", false, 0},
        {&comma, u"1,5.0", false, 0},
        {&spaced, u"1 234,5", true, 1234.5},
        {&spaced, u"1\u00A0234\u202F567", true, 1234567},
        {&spaced, u"1.5", false, 0},
        {&wide, u"1''000::25", true, 1000.25},
        {&wide, u"1'000", false, 0},
        {&wide, u"1:5", false, 0},
    };
    for (const Case& c : cases) {
        double d = -99;
        EXPECT_EQ(kvvbs::ParseNumberIn(c.text, c.locale, &d), c.ok) << kvwin::ToUtf8(c.text);
        if (c.ok) {
            EXPECT_EQ(d, c.value) << kvwin::ToUtf8(c.text);
        }
    }
    EXPECT_EQ(kvvbs::FormatDoubleIn(-1.5e-7, &comma), u"-0,00000015");
    EXPECT_EQ(kvvbs::FormatDoubleIn(-1.5e-20, &comma), u"-1,5E-20");
    EXPECT_EQ(kvvbs::FormatDoubleIn(1.5, &wide), u"1::5");
    EXPECT_EQ(kvvbs::FormatDoubleIn(1.5, nullptr), u"1.5");
    // Outside a running script no locale applies.
    EXPECT_EQ(kvvbs::ToText(kvvbs::Value::Double(0.25)), u"0.25");
}

// The host's locale reaches the implicit conversions as it reaches the format functions.
TEST(ScriptLocale, TheSiteLocaleGovernsImplicitConversions) {
    if (!kvwin::FindLocale(1031))
        GTEST_SKIP() << "locale de-DE is not installed (scripts/setup.sh generates it)";
    ScopedApartment apartment;
    Script s(false);
    s.site->lcid = 1031;
    EXPECT_EQ(Evaluate(s, u"", u"\"x\" & 1.5 & \"|\" & (\"2,5\" * 2) & \"|\" & IsNumeric(\"1.5\")"),
              u"x1,5|5|True");
}

// The host process's own C locale never reaches the script: a host that set a comma as its
// decimal separator still gets 1.5 read as one and a half, in source text and in Round.
TEST(ScriptLocale, TheHostProcessNumericLocaleDoesNotChangeTheScript) {
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        GTEST_SKIP() << "locale de_DE.UTF-8 is not installed (scripts/setup.sh generates it)";
    ScopedApartment apartment;
    Script s(false);
    EXPECT_EQ(Evaluate(s, u"SetLocale 1033 : Dim a : a = 1.5 * 2", u"a"), u"3");
    EXPECT_EQ(Evaluate(s, u"Dim b : b = Round(2.675, 2)", u"b"), u"2.68");
    std::setlocale(LC_NUMERIC, before.c_str());
}

TEST(ScriptLocale, AnUnknownSiteLocaleFallsBackToTheUser) {
    ScopedApartment apartment;
    Script s(false);
    s.site->lcid = 0x7C04;  // not in the table
    EXPECT_EQ(Evaluate(s, u"", u"GetLocale()"),
              kvwin::FromUtf8(std::to_string(kvwin::UserDefaultLcid())));
}

TEST(ScriptLocale, LocalesSwitchedInsideAScript) {
    for (LCID l : {1031u, 1036u, 2057u, 1041u, 1049u, 1046u})
        if (!kvwin::FindLocale(l))
            GTEST_SKIP() << "locale " << kvwin::LocaleNameOf(l)
                         << " is not installed (scripts/setup.sh generates it)";
    ScopedApartment apartment;
    Script s(true, SCRIPTITEM_ISVISIBLE | SCRIPTITEM_GLOBALMEMBERS);
    std::ifstream in(std::string(KV_VBSCRIPT_TEST_SCRIPTS) + "/locales.vbs", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    ASSERT_FALSE(text.str().empty());
    EXPECT_EQ(s.Run(kvwin::FromUtf8(text.str())), S_OK);
    for (const auto& e : s.site->errors)
        ADD_FAILURE() << "script error at line " << e.line + 1 << ": "
                      << kvwin::ToUtf8(e.description);
    for (const auto& f : s.helper->failures)
        ADD_FAILURE() << "check failed: " << f;
    EXPECT_GT(s.helper->checks, 10);
}

}  // namespace
}  // namespace vbstest
