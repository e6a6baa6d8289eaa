// The result collector over the real event component and over a test component of our own.
#include <gtest/gtest.h>

#include "entry/inv_collector.h"
#include "fake_hub_event.h"
#include "kvtest/com_support.h"
#include "kvtest/log_capture.h"
#include "kvwin/utf.h"

namespace {

TEST(ColumnValueCleaning, ControlCharactersGoAnywhereAndBlanksAtTheEnds) {
    struct Case {
        std::u16string in, out;
    } cases[] = {
        {u"two\t\r\nwords", u"twowords"},
        {u"  padded  ", u"padded"},
        {u"\x01 inner  space \x1F", u"inner  space"},
        {u"\x7F\xA0kept\xA0", u"\x7F\xA0kept"},  // U+007F stays; U+00A0 is space at the end
        {u"\t\n", u""},
        {u"", u""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CleanColumnValue(c.in), c.out) << kvwin::ToUtf8(c.in);
}

TEST(RowCut, FromTheFirstRowToTheNextResourceEndTag) {
    struct Case {
        std::u16string xml, rows;
    } cases[] = {
        {u"<e><resource>\n <row a='1'/>\n<row a='2'/> \n</resource></e>",
         u"<row a='1'/>\n<row a='2'/>"},
        {u"<e><resource></resource><resource><row/></resource><resource><row "
         u"b='x'/></resource></e>",
         u"<row/>"},
        {u"<e><resource></resource></e>", u""},
        {u"<e><row/></e>", u""},  // rows but no end tag after them
        {u"</resource><row/>", u""},
        {u"", u""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CutRows(c.xml), c.rows) << kvwin::ToUtf8(c.xml);
}

TEST(InvCollectorOverTheComponent, RowsAndCleanedValuesComeBackAsRowElements) {
    kvtest::ScopedApartment apartment;
    InvCollector collector(u"", nullptr, u"50FBF1F5-17C5-47f1-92A8-D800B2515535");
    collector.AddRow();
    collector.SetColumnValue(0, u"  Debian\tGNU/Linux\n");
    collector.SetColumnValue(2, u"12");
    collector.AddRow();
    collector.SetColumnValue(1, u"a&b");
    std::u16string rows;
    collector.GetRowsXml(rows);
    EXPECT_EQ(rows,
              u"<row><value column=\"0\">DebianGNU/Linux</value><value column=\"1\"/>"
              u"<value column=\"2\">12</value></row>\n"
              u"<row><value column=\"0\"/><value column=\"1\">a&amp;b</value>"
              u"<value column=\"2\"/></row>");
}

TEST(InvCollectorOverTheComponent, AColumnBeforeAnyRowRaisesEPointer) {
    kvtest::ScopedApartment apartment;
    InvCollector collector(u"Class", nullptr, u"id");
    try {
        collector.SetColumnValue(0, u"x");
        FAIL() << "no error raised";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), E_POINTER);
    }
    std::u16string rows = u"stale";
    collector.GetRowsXml(rows);
    EXPECT_EQ(rows, u"");
}

TEST(InvCollectorOverATestComponent, CallsComeInOrderAndAMissingResourceIsANullDispatch) {
    kvtest::ScopedApartment apartment;
    std::vector<std::u16string> calls;
    entrytest::FakeEventScript script;
    script.xml = u"<x><row n='1'/></resource>";
    script.calls = &calls;
    entrytest::ScopedFakeHubEvent fake(script);
    kvtest::ClearLoggedLines();
    InvCollector collector(nullptr, nullptr, u"the-id");
    EXPECT_EQ(calls, (std::vector<std::u16string>{u"SetEventGuid(the-id)", u"GetDefaultResource",
                                                  u"SetEventOption(0)",
                                                  u"AddDataBlock(Dummy Dataclass,null dispatch)"}));
    EXPECT_EQ(kvtest::Lines(),
              (std::vector<std::string>{
                  "8|InvCollector::CreateHubEvent|HubEvent created successfully",
                  "8|InvCollector::AddDefaultResourceInfo|In AddDefaultResourceInfo",
                  "8|InvCollector::AddDefaultResourceInfo|IZorHubEvent::GetDefaultResource "
                  "returned NULL. Calling CreateDefaultResource",
                  "8|InvCollector::AddDataBlock|In"}));
    std::u16string rows;
    collector.GetRowsXml(rows);
    EXPECT_EQ(rows, u"<row n='1'/>");
}

TEST(InvCollectorOverATestComponent, AFailingDefaultResourceIsAWarningOnly) {
    kvtest::ScopedApartment apartment;
    std::vector<std::u16string> calls;
    entrytest::FakeEventScript script;
    script.default_resource = E_ACCESSDENIED;
    script.calls = &calls;
    entrytest::ScopedFakeHubEvent fake(script);
    kvtest::ClearLoggedLines();
    InvCollector collector(u"Named", nullptr, u"id");
    EXPECT_EQ(calls.back(), u"AddDataBlock(Named,null dispatch)");
    bool warned = false;
    for (const std::string& line : kvtest::Lines()) {
        warned =
            warned || line.rfind(
                          "2|InvCollector::AddDefaultResourceInfo|IZorHubEvent::GetDefaultResource "
                          "threw exception. Calling CreateDefaultResource, COM error: ",
                          0) == 0;
    }
    EXPECT_TRUE(warned);
    std::u16string rows = u"stale";
    collector.GetRowsXml(rows);  // the fake's XML is empty: no rows
    EXPECT_EQ(rows, u"");
}

}  // namespace
