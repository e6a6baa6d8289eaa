// The result collector over the real event component and over a test component of our own.
#include <gtest/gtest.h>

#include "entry/inv_collector.h"
#include "fake_hub_event.h"
#include "kvtest/com_support.h"
#include "kvtest/log_capture.h"
#include "kvwin/utf.h"
#include "kvwin/wide_string.h"

namespace {

TEST(ColumnValueCleaning, ControlCharactersGoAnywhereAndBlanksAtTheEnds) {
    struct Case {
        WString in, out;
    } cases[] = {
        {TEXT("two\t\r\nwords"), TEXT("twowords")},
        {TEXT("  padded  "), TEXT("padded")},
        {TEXT("\x01 inner  space \x1F"), TEXT("inner  space")},
        {TEXT("\x7F\xA0kept\xA0"),
         TEXT("\x7F\xA0kept")},  // U+007F stays; U+00A0 is space at the end
        {TEXT("\t\n"), TEXT("")},
        {TEXT(""), TEXT("")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CleanColumnValue(c.in), c.out) << kvwin::ToUtf8(c.in);
}

TEST(RowCut, FromTheFirstRowToTheNextResourceEndTag) {
    struct Case {
        WString xml, rows;
    } cases[] = {
        {TEXT("<e><resource>\n <row a='1'/>\n<row a='2'/> \n</resource></e>"),
         TEXT("<row a='1'/>\n<row a='2'/>")},
        {TEXT("<e><resource></resource><resource><row/></resource><resource><row ")
             TEXT("b='x'/></resource></e>"),
         TEXT("<row/>")},
        {TEXT("<e><resource></resource></e>"), TEXT("")},
        {TEXT("<e><row/></e>"), TEXT("")},  // rows but no end tag after them
        {TEXT("</resource><row/>"), TEXT("")},
        {TEXT(""), TEXT("")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CutRows(c.xml), c.rows) << kvwin::ToUtf8(c.xml);
}

TEST(InvCollectorOverTheComponent, RowsAndCleanedValuesComeBackAsRowElements) {
    kvtest::ScopedApartment apartment;
    InvCollector collector(TEXT(""), nullptr, TEXT("50FBF1F5-17C5-47f1-92A8-D800B2515535"));
    collector.AddRow();
    collector.SetColumnValue(0, TEXT("  Debian\tGNU/Linux\n"));
    collector.SetColumnValue(2, TEXT("12"));
    collector.AddRow();
    collector.SetColumnValue(1, TEXT("a&b"));
    WString rows;
    collector.GetRowsXml(rows);
    EXPECT_EQ(rows, TEXT("<row><value column=\"0\">DebianGNU/Linux</value><value column=\"1\"/>")
                        TEXT("<value column=\"2\">12</value></row>\n")
                            TEXT("<row><value column=\"0\"/><value column=\"1\">a&amp;b</value>")
                                TEXT("<value column=\"2\"/></row>"));
}

// A value with nothing to clean goes over as it is; one with a blank at an end or a control
// character anywhere is cleaned first.
TEST(InvCollectorOverTheComponent, OnlyCleanValuesGoOverUncleaned) {
    kvtest::ScopedApartment apartment;
    InvCollector collector(TEXT(""), nullptr, TEXT("50FBF1F5-17C5-47f1-92A8-D800B2515535"));
    collector.AddRow();
    collector.SetColumnValue(0, TEXT("inner  blank"));
    collector.SetColumnValue(1, TEXT("end\xA0"));
    collector.SetColumnValue(2, TEXT(" start"));
    collector.SetColumnValue(3, TEXT("bell\x07"));
    collector.SetColumnValue(4, TEXT(" "));
    WString rows;
    collector.GetRowsXml(rows);
    EXPECT_EQ(rows, TEXT("<row><value column=\"0\">inner  blank</value><value column=\"1\">end")
                        TEXT("</value><value column=\"2\">start</value><value column=\"3\">bell")
                            TEXT("</value><value column=\"4\"></value></row>"));
}

TEST(InvCollectorOverTheComponent, AColumnBeforeAnyRowRaisesEPointer) {
    kvtest::ScopedApartment apartment;
    InvCollector collector(TEXT("Class"), nullptr, TEXT("id"));
    try {
        collector.SetColumnValue(0, TEXT("x"));
        FAIL() << "no error raised";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), E_POINTER);
    }
    WString rows = TEXT("stale");
    collector.GetRowsXml(rows);
    EXPECT_EQ(rows, TEXT(""));
}

TEST(InvCollectorOverATestComponent, CallsComeInOrderAndAMissingResourceIsANullDispatch) {
    kvtest::ScopedApartment apartment;
    std::vector<WString> calls;
    entrytest::FakeEventScript script;
    script.xml = TEXT("<x><row n='1'/></resource>");
    script.calls = &calls;
    entrytest::ScopedFakeHubEvent fake(script);
    kvtest::ClearLoggedLines();
    InvCollector collector(nullptr, nullptr, TEXT("the-id"));
    EXPECT_EQ(calls, (std::vector<WString>{TEXT("SetEventGuid(the-id)"), TEXT("GetDefaultResource"),
                                           TEXT("SetEventOption(0)"),
                                           TEXT("AddDataBlock(Dummy Dataclass,null dispatch)")}));
    EXPECT_EQ(kvtest::Lines(),
              (std::vector<std::string>{
                  "8|InvCollector::CreateHubEvent|HubEvent created successfully",
                  "8|InvCollector::AddDefaultResourceInfo|In AddDefaultResourceInfo",
                  "8|InvCollector::AddDefaultResourceInfo|IZorHubEvent::GetDefaultResource "
                  "returned NULL. Calling CreateDefaultResource",
                  "8|InvCollector::AddDataBlock|In"}));
    WString rows;
    collector.GetRowsXml(rows);
    EXPECT_EQ(rows, TEXT("<row n='1'/>"));
}

TEST(InvCollectorOverATestComponent, AFailingDefaultResourceIsAWarningOnly) {
    kvtest::ScopedApartment apartment;
    std::vector<WString> calls;
    entrytest::FakeEventScript script;
    script.default_resource = E_ACCESSDENIED;
    script.calls = &calls;
    entrytest::ScopedFakeHubEvent fake(script);
    kvtest::ClearLoggedLines();
    InvCollector collector(TEXT("Named"), nullptr, TEXT("id"));
    EXPECT_EQ(calls.back(), TEXT("AddDataBlock(Named,null dispatch)"));
    bool warned = false;
    for (const std::string& line : kvtest::Lines()) {
        warned =
            warned || line.rfind(
                          "2|InvCollector::AddDefaultResourceInfo|IZorHubEvent::GetDefaultResource "
                          "threw exception. Calling CreateDefaultResource, COM error: ",
                          0) == 0;
    }
    EXPECT_TRUE(warned);
    WString rows = TEXT("stale");
    collector.GetRowsXml(rows);  // the fake's XML is empty: no rows
    EXPECT_EQ(rows, TEXT(""));
}

}  // namespace
