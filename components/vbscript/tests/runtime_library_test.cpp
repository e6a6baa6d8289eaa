// The runtime library against its surroundings: the host's locale, the locale scripts (run
// only where the system has the locales), and the WMI date examples against the WMI query
// conversions of the same values.
#include <fstream>
#include <sstream>

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
