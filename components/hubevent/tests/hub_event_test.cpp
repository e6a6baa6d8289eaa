// The event component as the inventory library drives it, and its XML as a parser reads it.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "hubevent/hub_event.h"
#include "kvtest/com_support.h"
#include "kvtest/held_memory_bound.h"
#include "kvwin/utf.h"
#include "win/comdef.h"

_COM_SMARTPTR_TYPEDEF(IZorHubEvent, __uuidof(IZorHubEvent));
_COM_SMARTPTR_TYPEDEF(IHubDataBlock, __uuidof(IHubDataBlock));
_COM_SMARTPTR_TYPEDEF(IHubDataRow, __uuidof(IHubDataRow));
_COM_SMARTPTR_TYPEDEF(IHubColumnList, __uuidof(IHubColumnList));

namespace {

_variant_t Omitted() {
    _variant_t v;
    v.vt = VT_ERROR;
    v.scode = DISP_E_PARAMNOTFOUND;
    return v;
}

std::u16string Xml(IZorHubEvent* event) {
    BSTR xml = nullptr;
    EXPECT_EQ(event->GetXml(&xml), S_OK);
    std::u16string text(xml, SysStringLen(xml));
    SysFreeString(xml);
    return text;
}

struct EventFixture : ::testing::Test {
    kvtest::ScopedApartment apartment;
    IZorHubEventPtr event;
    IHubDataBlockPtr block;

    void SetUp() override {
        ASSERT_EQ(event.CreateInstance(CLSID_ZorHubEvent), S_OK);
        ASSERT_EQ(event->SetEventGuid(_bstr_t(u"50FBF1F5-17C5-47f1-92A8-D800B2515535")), S_OK);
        IDispatch* resource = nullptr;
        ASSERT_EQ(event->GetDefaultResource(&resource), S_OK);
        _variant_t resourceArg(resource, false);
        ASSERT_EQ(event->SetEventOption(0), S_OK);
        ASSERT_EQ(event->AddDataBlock(_variant_t(u"Dummy Dataclass"), resourceArg, &block), S_OK);
    }

    IHubDataRowPtr AddRow() {
        IHubDataRowPtr row;
        EXPECT_EQ(block->AddRow(Omitted(), &row), S_OK);
        return row;
    }
    void Set(IHubDataRow* row, int column, const _variant_t& value) {
        _variant_t index;
        index.vt = VT_INT;
        index.intVal = column;
        EXPECT_EQ(row->SetValue(index, value), S_OK);
    }
};

TEST_F(EventFixture, RowsStandTogetherBeforeTheirResourceEndTag) {
    IHubDataRowPtr first = AddRow();
    Set(first, 0, _variant_t(u"Linux"));
    Set(first, 2, _variant_t(u"a<b & \"c\" 'd'"));
    IHubDataRowPtr second = AddRow();
    Set(second, 1, _variant_t(42L));

    EXPECT_EQ(Xml(event),
              u"<event guid=\"50FBF1F5-17C5-47f1-92A8-D800B2515535\" option=\"0\">\n"
              u"<resource name=\"Default\" dataclass=\"Dummy Dataclass\">\n"
              u"<row><value column=\"0\">Linux</value>"
              u"<value column=\"2\">a&lt;b &amp; &quot;c&quot; &apos;d&apos;</value></row>\n"
              u"<row><value column=\"1\">42</value></row>\n"
              u"</resource>\n"
              u"</event>");
}

TEST_F(EventFixture, TableColumnsAppearInEveryRowAndASecondValueReplacesTheFirst) {
    IHubColumnListPtr columns;
    ASSERT_EQ(block->GetColumns(&columns), S_OK);
    ASSERT_EQ(columns->SetColumnOption(3, 1), S_OK);
    IHubDataRowPtr row = AddRow();
    Set(row, 1, _variant_t(u"first"));
    Set(row, 1, _variant_t(u"second"));
    Set(row, 0, _variant_t(u"gone"));
    _variant_t null;
    null.vt = VT_NULL;
    Set(row, 0, null);
    std::u16string xml = Xml(event);
    EXPECT_NE(xml.find(u"<row><value column=\"1\">second</value><value column=\"3\"/></row>"),
              std::u16string::npos)
        << kvwin::ToUtf8(xml);
}

// The table's columns and a row's values interleave: each column once, in column order, an
// empty element where the row has no value; a column whose option is not the table's is left
// out unless the row has a value there. The largest column number is written whole.
TEST_F(EventFixture, TableColumnsAndRowValuesInterleaveInColumnOrder) {
    IHubColumnListPtr columns;
    ASSERT_EQ(block->GetColumns(&columns), S_OK);
    for (ULONG column : {0UL, 3UL, 5UL, 4294967295UL})
        ASSERT_EQ(columns->SetColumnOption(column, 1), S_OK);
    ASSERT_EQ(columns->SetColumnOption(2, 0), S_OK);
    ASSERT_EQ(columns->SetColumnOption(7, 0), S_OK);
    IHubDataRowPtr row = AddRow();
    Set(row, 6, _variant_t(u"six"));
    Set(row, 3, _variant_t(u"three"));
    Set(row, 1, _variant_t(u"one"));
    Set(row, 7, _variant_t(u"seven"));
    IHubDataRowPtr empty = AddRow();
    std::u16string xml = Xml(event);
    EXPECT_NE(xml.find(u"<row><value column=\"0\"/><value column=\"1\">one</value>"
                       u"<value column=\"3\">three</value><value column=\"5\"/>"
                       u"<value column=\"6\">six</value><value column=\"7\">seven</value>"
                       u"<value column=\"4294967295\"/></row>\n"
                       u"<row><value column=\"0\"/><value column=\"3\"/><value column=\"5\"/>"
                       u"<value column=\"4294967295\"/></row>\n</resource>"),
              std::u16string::npos)
        << kvwin::ToUtf8(xml);
}

TEST_F(EventFixture, HostileValuesKeepTheXmlWellFormedAndTheRowsInPlace) {
    const std::u16string hostile[] = {
        u"</resource><row>",      u"]]>",    u"tab\tline\nreturn\r",   std::u16string(u"nul\0x", 5),
        u"\xD800 lone surrogate", u"\xFFFE", u"pair \xD83D\xDE00 kept"};
    for (const auto& value : hostile) {
        IHubDataRowPtr row = AddRow();
        Set(row, 0,
            _variant_t(_bstr_t(SysAllocStringLen(value.data(), UINT(value.size())), false)));
    }
    std::u16string xml = Xml(event);
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(kvwin::ToUtf8(xml).c_str())) << kvwin::ToUtf8(xml);
    auto rows = doc.child("event").child("resource").children("row");
    EXPECT_EQ(std::distance(rows.begin(), rows.end()), 7);
    EXPECT_STREQ(doc.select_node("//row[3]/value").node().text().get(), "tab\tline\nreturn\r");
    EXPECT_STREQ(doc.select_node("//row[7]/value").node().text().get(),
                 "pair \xF0\x9F\x98\x80 kept");

    // Everything from the first "<row" to the next "</resource>" is rows.
    size_t start = xml.find(u"<row");
    size_t end = xml.find(u"</resource>", start);
    std::u16string cut = xml.substr(start, end - start);
    pugi::xml_document rowsOnly;
    ASSERT_TRUE(rowsOnly.load_string(("<r>" + kvwin::ToUtf8(cut) + "</r>").c_str()));
    auto cutRows = rowsOnly.child("r").children("row");
    EXPECT_EQ(std::distance(cutRows.begin(), cutRows.end()), 7);
}

// Columns and values come in whatever kind a caller has; each lands as its text would.
TEST_F(EventFixture, ColumnsAndValuesOfAnyKindLandAsTheirText) {
    IHubDataRowPtr row = AddRow();
    _variant_t i2;
    i2.vt = VT_I2;
    i2.iVal = 1;
    _variant_t null_text;
    null_text.vt = VT_BSTR;
    null_text.bstrVal = nullptr;
    EXPECT_EQ(row->SetValue(_variant_t(0L), _variant_t(u"a")), S_OK);
    EXPECT_EQ(row->SetValue(i2, _variant_t(42L)), S_OK);
    EXPECT_EQ(row->SetValue(_variant_t(u"2"), _variant_t(2.5)), S_OK);
    Set(row, 3, null_text);
    Set(row, 4, _variant_t(_bstr_t(SysAllocStringLen(u"n\0ul", 4), false)));
    _variant_t negative;
    negative.vt = VT_INT;
    negative.intVal = -2;
    EXPECT_EQ(row->SetValue(negative, _variant_t(u"v")), E_INVALIDARG);
    EXPECT_NE(Xml(event).find(u"<row><value column=\"0\">a</value><value column=\"1\">42</value>"
                              u"<value column=\"2\">2.5</value><value column=\"3\"></value>"
                              u"<value column=\"4\">n\xFFFDul</value></row>"),
              std::u16string::npos)
        << kvwin::ToUtf8(Xml(event));
}

TEST_F(EventFixture, BadArgumentsAreRefused) {
    IHubDataBlockPtr other;
    EXPECT_EQ(event->AddDataBlock(_variant_t(7L), Omitted(), &other), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(event->AddDataBlock(_variant_t(u""), Omitted(), &other), E_INVALIDARG);
    EXPECT_EQ(event->AddDataBlock(_variant_t(u"x"), _variant_t(3L), &other), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(event->SetEventGuid(nullptr), E_INVALIDARG);
    EXPECT_EQ(event->GetXml(nullptr), E_POINTER);
    IHubDataRowPtr row;
    EXPECT_EQ(block->AddRow(_variant_t(1L), &row), E_INVALIDARG);
    row = AddRow();
    EXPECT_EQ(row->SetValue(_variant_t(u"abc"), _variant_t(u"v")), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(row->SetValue(_variant_t(-1L), _variant_t(u"v")), E_INVALIDARG);
}

TEST(HubEventComponent, ABlockWithoutResourceAndObjectsThatOutliveTheirEvent) {
    kvtest::ScopedApartment apartment;
    IZorHubEventPtr event;
    ASSERT_EQ(event.CreateInstance(u"ZorHub.Event"), S_OK);
    _variant_t noResource;
    noResource.vt = VT_DISPATCH;
    noResource.pdispVal = nullptr;
    IHubDataBlockPtr block;
    ASSERT_EQ(event->AddDataBlock(_variant_t(u"Class"), noResource, &block), S_OK);
    IHubDataRowPtr row;
    ASSERT_EQ(block->AddRow(_variant_t(), &row), S_OK);
    event = nullptr;  // the block and the row keep the event's content alive
    EXPECT_EQ(row->SetValue(_variant_t(0L), _variant_t(u"still here")), S_OK);
}

// The rows a script writes are bounded with everything else objects hold for scripts: past the
// bound a value, row or block is refused with E_OUTOFMEMORY, what was written stays, and a
// smaller value in place of a big one, or the event's release, gives the room back.
TEST(HubEventMemory, WritesPastTheBoundAreRefusedAndTheEventStaysWhole) {
    kvtest::ScopedApartment apartment;
    const size_t before = kvwin::HeldMemoryInUse();
    kvtest::ScopedHeldMemoryBound bound(before + 1000000);
    const _variant_t big(std::u16string(10000, u'v').c_str());
    {
        IZorHubEventPtr event;
        ASSERT_EQ(event.CreateInstance(CLSID_ZorHubEvent), S_OK);
        IHubDataBlockPtr block;
        ASSERT_EQ(event->AddDataBlock(_variant_t(u"Class"), Omitted(), &block), S_OK);
        IHubDataRowPtr row;
        ASSERT_EQ(block->AddRow(Omitted(), &row), S_OK);
        HRESULT hr = S_OK;
        long column = 0;
        for (; column < 1000 && hr == S_OK; ++column)
            hr = row->SetValue(_variant_t(column), big);
        EXPECT_EQ(hr, E_OUTOFMEMORY);
        EXPECT_GT(column, 40);
        EXPECT_LT(column, 52);
        // Filled to the last bytes: rows and blocks are refused too.
        IHubDataRowPtr more;
        hr = S_OK;
        for (int i = 0; i < 100000 && hr == S_OK; ++i)
            hr = block->AddRow(Omitted(), &more);
        EXPECT_EQ(hr, E_OUTOFMEMORY);
        IHubDataBlockPtr other;
        EXPECT_EQ(event->AddDataBlock(_variant_t(u"Other"), Omitted(), &other), E_OUTOFMEMORY);
        // The event still writes out what it took.
        pugi::xml_document doc;
        EXPECT_TRUE(doc.load_string(kvwin::ToUtf8(Xml(event)).c_str()));
        EXPECT_EQ(doc.select_nodes("//value").size(), size_t(column - 1));
        EXPECT_EQ(row->SetValue(_variant_t(0L), _variant_t(u"small")), S_OK);
        EXPECT_EQ(row->SetValue(_variant_t(1L), _variant_t()), S_OK);
        EXPECT_EQ(row->SetValue(_variant_t(column + 1), big), S_OK);
    }
    EXPECT_EQ(kvwin::HeldMemoryInUse(), before);
}

}  // namespace
