// The WMI query definition read from query elements: the statement and the bindings.
#include <gtest/gtest.h>

#include "kvtest/com_support.h"
#include "kvtest/log_capture.h"
#include "kvwin/utf.h"
#include "kvwin/wide_string.h"
#include "wmi/query/wmi_query.h"
#include "xml/xml_document.h"

namespace {

struct Definition {
    kvtest::ScopedApartment apartment;
    CWMIQuery query;
    HRESULT Read(const WString& document) {
        IXMLDOMElementPtr root = GetRootElement(document.c_str());
        return query.Initialize(root);
    }
    const WMIQueryInfo& info() const { return query.ActiveDefinition(); }
};

TEST(WmiQueryDefinition, StatementsBuiltFromDocuments) {
    struct Case {
        const char* what;
        WString document;
        WString statement;
    } cases[] = {
        {"the usual form",
         TEXT("<q namespace='root\\cimv2' class='Win32_Service'><properties>")
             TEXT("<property mapsTo='0'>Name</property><property "
                  "mapsTo='1'>State</property></properties>")
                 TEXT("<filter clause=\"where StartMode='Auto'\"/></q>"),
         TEXT("select Name,State from Win32_Service where StartMode='Auto'")},
        {"no properties", TEXT("<q namespace='n' class='C'/>"), TEXT("select  from C ")},
        {"no class", TEXT("<q namespace='n'><properties><property>A</property></properties></q>"),
         TEXT("select A from  ")},
        {"empty and blank property elements",
         TEXT("<q namespace='n' class='C'><properties><property/><property> B </property>")
             TEXT("<property></property></properties></q>"),
         TEXT("select ,B, from C ")},  // the DOM gives an element's text without its outer blanks
        {"a filter without clause", TEXT("<q namespace='n' class='C'><filter other='x'/></q>"),
         TEXT("select  from C ")},
        {"only the first filter counts",
         TEXT("<q namespace='n' class='C'><filter clause='one'/><filter clause='two'/></q>"),
         TEXT("select  from C one")},
        {"nothing is trimmed or checked",
         TEXT("<q namespace='n' class=' C;drop '><properties><property>a,b</property></properties>")
             TEXT("<filter clause='  where x'/></q>"),
         TEXT("select a,b from  C;drop    where x")},
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
        d.Read(TEXT("<q namespace='root\\cimv2' class='C'><rules>") TEXT(
            "<rule name='r'><definition><function name='First' param='p1'/></definition></rule>")
                   TEXT("<rule name='r'><definition><function name='Later' "
                        "param='p2'/></definition></rule>") TEXT(
                       "<rule name='noFunction'><definition/></rule>")
                       TEXT("<rule name='noName'><definition><function "
                            "param='x'/></definition></rule>") TEXT(
                           "<rule><definition><function name='Nameless'/></definition></rule>")
                           TEXT("<rule name='plain'><definition><function "
                                "name='Plain'/></definition></rule>") TEXT("</rules><properties>")
                               TEXT("<property mapsTo='12x' rule='r'>A</property>") TEXT(
                                   "<property mapsTo='x' rule='R'>B</property>")
                                   TEXT("<property rule='noFunction'>C</property>") TEXT(
                                       "<property mapsTo='3' rule='noName'>D</property>")
                                       TEXT("<property mapsTo='4' rule='plain'>E</property>") TEXT(
                                           "<property mapsTo='-2' rule='undefined'>F</property>")
                                           TEXT("</properties></q>")),
        S_OK);
    struct Expected {
        WString name;
        int32_t mapsTo;
        WString function, param;
    } expected[] = {
        {TEXT("A"), 12, TEXT("Later"), TEXT("p2")}, {TEXT("B"), 0, TEXT(""), TEXT("")},
        {TEXT("C"), 0, TEXT(""), TEXT("")},         {TEXT("D"), 3, TEXT(""), TEXT("")},
        {TEXT("E"), 4, TEXT("Plain"), TEXT("")},    {TEXT("F"), -2, TEXT(""), TEXT("")},
    };
    ASSERT_EQ(d.info().properties.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const WMIPropertyInfo& b = d.info().properties[i];
        EXPECT_EQ(b.name, expected[i].name) << i;
        EXPECT_EQ(b.mapsTo, expected[i].mapsTo) << i;
        EXPECT_EQ(b.function, expected[i].function) << i;
        EXPECT_EQ(b.param, expected[i].param) << i;
    }
    EXPECT_EQ(d.info().namespace_, TEXT("root\\cimv2"));
    EXPECT_EQ(d.info().query, TEXT("select A,B,C,D,E,F from C "));
}

// A definition read once is shared by the queries that take it: reading another element
// into one of them leaves the shared one as it was, and an element without a namespace
// keeps the namespace of the definition the query took.
TEST(WmiQueryDefinition, ASharedDefinitionOutlivesItsReaderAndIsNeverChanged) {
    Definition first;
    ASSERT_EQ(first.Read(TEXT("<q namespace='root\\cimv2' class='C'><properties>") TEXT(
                  "<property mapsTo='3'>LongPropertyName</property>") TEXT("</properties></q>")),
              S_OK);
    std::shared_ptr<const WMIQueryInfo> shared = first.query.SharedDefinition();
    ASSERT_TRUE(shared);

    Definition second;
    second.query.UseDefinition(shared);
    EXPECT_EQ(&second.info(), shared.get());
    ASSERT_EQ(second.Read(TEXT("<q class='D'><properties><property>B</property></properties>")
                              TEXT("</q>")),
              S_OK);
    EXPECT_EQ(second.info().namespace_, TEXT("root\\cimv2"));
    EXPECT_EQ(second.info().query, TEXT("select B from D "));

    ASSERT_EQ(first.Read(TEXT("<q namespace='other' class='E'/>")), S_OK);
    EXPECT_EQ(shared->namespace_, TEXT("root\\cimv2"));
    EXPECT_EQ(shared->query, TEXT("select LongPropertyName from C "));
    ASSERT_EQ(shared->properties.size(), 1u);
    EXPECT_EQ(shared->properties[0].mapsTo, 3);

    CWMIQuery none;
    none.UseDefinition(nullptr);  // ignored: the query keeps its empty definition
    EXPECT_TRUE(none.ActiveDefinition().query.empty());
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
