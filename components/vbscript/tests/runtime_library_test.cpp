// The runtime library against its surroundings: the host's locale, the locale scripts (run
// only where the system has the locales), and the WMI date examples against the WMI query
// conversions of the same values.
#include <fstream>
#include <sstream>

#include "data_conversion.h"
#include "kvwin/civil_time.h"
#include "kvwin/locale_data.h"
#include "kvwin/utf.h"
#include "vbs_test_support.h"

namespace vbstest {
namespace {

std::u16string Text(const VARIANT& v) {
    VARIANT s;
    VariantInit(&s);
    if (FAILED(VariantChangeType(&s, &v, 0, VT_BSTR)))
        return u"<no text>";
    std::u16string out(s.bstrVal, SysStringLen(s.bstrVal));
    VariantClear(&s);
    return out;
}

// Runs `code`, then gives the text of `expression`.
std::u16string Evaluate(Script& s, std::u16string_view code, std::u16string_view expression) {
    EXPECT_EQ(s.Run(code), S_OK);
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(s.Parse(expression, SCRIPTTEXT_ISEXPRESSION, &result), S_OK);
    for (const auto& e : s.site->errors)
        ADD_FAILURE() << "script error at line " << e.line + 1 << ": "
                      << kvwin::ToUtf8(e.description);
    std::u16string text = Text(result);
    VariantClear(&result);
    return text;
}

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

// The way administrators' scripts read a WMI date-time.
const char16_t kWmiDateScript[] =
    uR"(
Function WMIDateToDate(s)
    WMIDateToDate = CDate(Mid(s, 5, 2) & "/" & Mid(s, 7, 2) & "/" & Left(s, 4) _
        & " " & Mid(s, 9, 2) & ":" & Mid(s, 11, 2) & ":" & Mid(s, 13, 2))
End Function
Function Iso(d)
    Iso = Year(d) & "-" & Right("0" & Month(d), 2) & "-" & Right("0" & Day(d), 2) & "T" _
        & Right("0" & Hour(d), 2) & ":" & Right("0" & Minute(d), 2) & ":" & Right("0" & Second(d), 2)
End Function
)";

int64_t SecondsOf(const std::u16string& iso) {  // "yyyy-mm-ddTHH:MM:SS"
    std::string s = kvwin::ToUtf8(iso);
    int y, mo, d, h, mi, se;
    if (std::sscanf(s.c_str(), "%d-%d-%dT%d:%d:%d", &y, &mo, &d, &h, &mi, &se) != 6)
        return -1;
    return kvwin::DaysFromCivil(y, unsigned(mo), unsigned(d)) * 86400 + h * 3600 + mi * 60 + se;
}

TEST(WmiDates, InstallDateAndUptimeAgreeWithTheQueryConversions) {
    ScopedApartment apartment;
    for (const char16_t* install : {u"20230704090503.000000-240", u"20240229235959.000000+000",
                                    u"19991231000000.000000-300"}) {
        std::u16string expected;
        CDataConversion::GetSystemTimeFormat(install, expected);
        Script s(false);
        std::u16string code = kWmiDateScript;
        code += u"Dim installed, result\ninstalled = WMIDateToDate(\"" + std::u16string(install) +
                u"\")\nresult = Iso(installed)";
        EXPECT_EQ(Evaluate(s, code, u"result"), expected) << kvwin::ToUtf8(install);
    }
    struct Uptime {
        const char16_t* boot;
        const char16_t* now;
    } cases[] = {{u"20230704090503.000000-240", u"20230706123000.000000-240"},
                 {u"20221231235959.000000+060", u"20230101000001.000000+060"},
                 {u"20240228120000.000000+000", u"20240301115959.000000+000"}};
    for (const auto& c : cases) {
        std::u16string boot, now;
        CDataConversion::GetSystemTimeFormat(c.boot, boot);
        CDataConversion::GetSystemTimeFormat(c.now, now);
        // DateDiff counts hour boundaries crossed.
        int64_t hours =
            kvwin::FloorDiv(SecondsOf(now), 3600) - kvwin::FloorDiv(SecondsOf(boot), 3600);
        Script s(false);
        std::u16string code = kWmiDateScript;
        code += u"Dim result : result = DateDiff(\"h\", WMIDateToDate(\"" + std::u16string(c.boot) +
                u"\"), WMIDateToDate(\"" + std::u16string(c.now) + u"\"))";
        EXPECT_EQ(Evaluate(s, code, u"result"), kvwin::FromUtf8(std::to_string(hours)))
            << kvwin::ToUtf8(c.boot);
    }
}

}  // namespace
}  // namespace vbstest
