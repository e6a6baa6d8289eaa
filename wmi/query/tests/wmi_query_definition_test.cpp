// The WMI query definition read from query elements: the statement and the bindings.
#include <gtest/gtest.h>

#include "kvtest/com_support.h"
#include "kvtest/log_capture.h"
#include "kvwin/utf.h"
#include "wmi/query/wmi_query.h"
#include "xml/xml_document.h"

namespace {

struct Definition {
    kvtest::ScopedApartment apartment;
    CWMIQuery query;
    HRESULT Read(const std::u16string& document) {
        IXMLDOMElementPtr root = GetRootElement(document.c_str());
        return query.Initialize(root);
    }
    const WMIQueryInfo& info() const { return query.ActiveDefinition(); }
};

TEST(WmiQueryDefinition, StatementsBuiltFromDocuments) {
    struct Case {
        const char* what;
        std::u16string document;
        std::u16string statement;
    } cases[] = {
        {"the usual form",
         u"<q namespace='root\\cimv2' class='Win32_Service'><properties>"
         u"<property mapsTo='0'>Name</property><property mapsTo='1'>State</property></properties>"
         u"<filter clause=\"where StartMode='Auto'\"/></q>",
         u"select Name,State from Win32_Service where StartMode='Auto'"},
        {"no properties", u"<q namespace='n' class='C'/>", u"select  from C "},
        {"no class", u"<q namespace='n'><properties><property>A</property></properties></q>",
         u"select A from  "},
        {"empty and blank property elements",
         u"<q namespace='n' class='C'><properties><property/><property> B </property>"
         u"<property></property></properties></q>",
         u"select ,B, from C "},  // the DOM gives an element's text without its outer blanks
        {"a filter without clause", u"<q namespace='n' class='C'><filter other='x'/></q>",
         u"select  from C "},
        {"only the first filter counts",
         u"<q namespace='n' class='C'><filter clause='one'/><filter clause='two'/></q>",
         u"select  from C one"},
        {"nothing is trimmed or checked",
         u"<q namespace='n' class=' C;drop '><properties><property>a,b</property></properties>"
         u"<filter clause='  where x'/></q>",
         u"select a,b from  C;drop    where x"},
    };
    for (const Case& c : cases) {
        Definition d;
        ASSERT_EQ(d.Read(c.document), S_OK) << c.what;
        EXPECT_EQ(d.info().query, c.statement) << c.what << ": " << kvwin::ToUtf8(d.info().query);
    }
}

TEST(WmiQueryDefinition, BindingsTakeTheirRulesAndColumns) {
    Definition d;
    ASSERT_EQ(
        d.Read(u"<q namespace='root\\cimv2' class='C'><rules>"
               u"<rule name='r'><definition><function name='First' param='p1'/></definition></rule>"
               u"<rule name='r'><definition><function name='Later' param='p2'/></definition></rule>"
               u"<rule name='noFunction'><definition/></rule>"
               u"<rule name='noName'><definition><function param='x'/></definition></rule>"
               u"<rule><definition><function name='Nameless'/></definition></rule>"
               u"<rule name='plain'><definition><function name='Plain'/></definition></rule>"
               u"</rules><properties>"
               u"<property mapsTo='12x' rule='r'>A</property>"
               u"<property mapsTo='x' rule='R'>B</property>"
               u"<property rule='noFunction'>C</property>"
               u"<property mapsTo='3' rule='noName'>D</property>"
               u"<property mapsTo='4' rule='plain'>E</property>"
               u"<property mapsTo='-2' rule='undefined'>F</property>"
               u"</properties></q>"),
        S_OK);
    struct Expected {
        std::u16string name;
        int32_t mapsTo;
        std::u16string function, param;
    } expected[] = {
        {u"A", 12, u"Later", u"p2"}, {u"B", 0, u"", u""},      {u"C", 0, u"", u""},
        {u"D", 3, u"", u""},         {u"E", 4, u"Plain", u""}, {u"F", -2, u"", u""},
    };
    ASSERT_EQ(d.info().properties.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const WMIPropertyInfo& b = d.info().properties[i];
        EXPECT_EQ(b.name, expected[i].name) << i;
        EXPECT_EQ(b.mapsTo, expected[i].mapsTo) << i;
        EXPECT_EQ(b.function, expected[i].function) << i;
        EXPECT_EQ(b.param, expected[i].param) << i;
    }
    EXPECT_EQ(d.info().namespace_, u"root\\cimv2");
    EXPECT_EQ(d.info().query, u"select A,B,C,D,E,F from C ");
}

TEST(WmiQueryDefinition, ANullElementFailsAndLeavesTheDefinitionEmpty) {
    kvtest::ScopedApartment apartment;
    CWMIQuery query;
    kvtest::ClearLoggedLines();
    IXMLDOMElementPtr none;
    EXPECT_EQ(query.Initialize(none), kWmiQueryFailed);
    EXPECT_TRUE(query.ActiveDefinition().query.empty());
    const std::vector<std::string> lines = kvtest::Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(
        lines[0].rfind("1|CWMIQuery::Initialize|Failed to initialize WMI query, COM error: ", 0),
        0u)
        << lines[0];
    EXPECT_NE(lines[0].find("(0x80004003)"), std::string::npos);
}

}  // namespace
