// The VBScript way of reading a WMI date-time (CDate of its parts, DateDiff for an uptime)
// agrees with the conversion rules of the WMI query documents for the same value.
#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

#include "kvwin/civil_time.h"
#include "kvwin/utf.h"
#include "vbs_test_support.h"
#include "wmi/conversion/data_conversion.h"

namespace vbstest {
namespace {

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

void CompareWithTheQueryConversions() {
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

// The engine runs on a thread of its own, as script queries run it: the engine module's
// thread-local storage then ends with that thread, before the process exits (the leak
// checker of the sanitizer build cannot walk a module's dynamic thread storage at exit).
TEST(WmiDates, InstallDateAndUptimeAgreeWithTheQueryConversions) {
    std::thread run(CompareWithTheQueryConversions);
    run.join();
}

}  // namespace
}  // namespace vbstest
