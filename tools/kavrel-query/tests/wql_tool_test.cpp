// kavrel-query's WMI face in process: statements, classes and descriptions as the service
// declares them, and the four output formats.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "kvtest/com_support.h"
#include "win/wbemcli.h"
#include "wql_tool.h"

namespace {

WqlValue Text(const std::string& text) {
    return {WqlValue::Kind::Text, text, {}};
}
WqlValue Number(const std::string& text) {
    return {WqlValue::Kind::Number, text, {}};
}

// Every kind of value, and texts that each format must escape.
WqlTable Sample() {
    WqlTable table;
    table.columns = {"Name", "Count", "On", "Tags", "Gone"};
    table.rows.push_back({Text("a,\"b\"<&>"),
                          Number("18446744073709551615"),
                          {WqlValue::Kind::Boolean, "true", {}},
                          {WqlValue::Kind::Array, "", {Text("x"), Text("y")}},
                          WqlValue{}});
    table.rows.push_back({Text("\xC3\xA9t\xC3\xA9"),
                          Number("-1"),
                          {WqlValue::Kind::Boolean, "false", {}},
                          {WqlValue::Kind::Array, "", {}},
                          WqlValue{}});
    return table;
}

TEST(WqlFormats, EachFormatKeepsTypesAndEscapesWhatItMust) {
    const WqlTable table = Sample();
    EXPECT_EQ(FormatTable(table, OutputFormat::Json),
              "[\n"
              "  {\"Name\": \"a,\\\"b\\\"<&>\", \"Count\": 18446744073709551615, \"On\": true, "
              "\"Tags\": [\"x\", \"y\"], \"Gone\": null},\n"
              "  {\"Name\": \"\xC3\xA9t\xC3\xA9\", \"Count\": -1, \"On\": false, \"Tags\": [], "
              "\"Gone\": null}\n"
              "]\n");
    EXPECT_EQ(FormatTable(table, OutputFormat::Csv),
              "Name,Count,On,Tags,Gone\n"
              "\"a,\"\"b\"\"<&>\",18446744073709551615,true,x;y,\n"
              "\xC3\xA9t\xC3\xA9,-1,false,,\n");
    EXPECT_EQ(FormatTable(table, OutputFormat::Xml),
              "<rows>\n"
              "  <row><Name>a,&quot;b&quot;&lt;&amp;&gt;</Name><Count>18446744073709551615</Count>"
              "<On>true</On><Tags><item>x</item><item>y</item></Tags><Gone null=\"true\"/></row>\n"
              "  <row><Name>\xC3\xA9t\xC3\xA9</Name><Count>-1</Count><On>false</On><Tags></Tags>"
              "<Gone null=\"true\"/></row>\n"
              "</rows>\n");
    // Aligned by characters, not bytes: the accented name is three columns wide.
    EXPECT_EQ(FormatTable(table, OutputFormat::Table),
              "Name      Count                 On     Tags  Gone\n"
              "--------  --------------------  -----  ----  ----\n"
              "a,\"b\"<&>  18446744073709551615  true   x;y   \n"
              "\xC3\xA9t\xC3\xA9       -1                    false        \n");
    EXPECT_EQ(FormatTable(WqlTable{{"A"}, {}}, OutputFormat::Json), "[]\n");
}

TEST(WqlFormats, NamesOfFormatsAndCimTypes) {
    OutputFormat format;
    for (const char* name : {"table", "csv", "json", "xml"})
        EXPECT_TRUE(ParseOutputFormat(name, format)) << name;
    EXPECT_FALSE(ParseOutputFormat("yaml", format));
    EXPECT_EQ(CimTypeName(CIM_UINT64), "uint64");
    EXPECT_EQ(CimTypeName(CIM_STRING | CIM_FLAG_ARRAY), "string[]");
    EXPECT_EQ(CimTypeName(CIM_DATETIME), "datetime");
}

class WqlService : public ::testing::Test {
  protected:
    kvtest::ScopedApartment apartment_{COINIT_APARTMENTTHREADED};
};

TEST_F(WqlService, AStatementGivesItsSelectListAsColumnsAndTypedValues) {
    WqlTable table;
    ASSERT_EQ(RunWql("root\\cimv2", "select Name, ProcessId , Handle from Win32_Process", table),
              S_OK);
    EXPECT_EQ(table.columns, (std::vector<std::string>{"Name", "ProcessId", "Handle"}));
    ASSERT_FALSE(table.rows.empty());
    bool sawNumber = false;
    for (const auto& row : table.rows) {
        ASSERT_EQ(row.size(), 3u);
        sawNumber |= row[1].kind == WqlValue::Kind::Number;
    }
    EXPECT_TRUE(sawNumber);

    // FROM after a line break: the columns come from the rows themselves.
    ASSERT_EQ(RunWql("root\\cimv2", "SELECT *\nFROM\tWin32_OperatingSystem", table), S_OK);
    EXPECT_NE(std::find(table.columns.begin(), table.columns.end(), "Caption"),
              table.columns.end());
    ASSERT_EQ(table.rows.size(), 1u);
}

TEST_F(WqlService, AnEmbeddedObjectIsItsObjectTextOnOneLine) {
    WqlTable table;
    ASSERT_EQ(RunWql("root\\cimv2", "select LocalPath, Desktop from Win32_UserProfile", table),
              S_OK);
    ASSERT_FALSE(table.rows.empty());  // root's profile at least
    for (const auto& row : table.rows) {
        ASSERT_EQ(row[1].kind, WqlValue::Kind::Text) << row[0].text;
        EXPECT_EQ(row[1].text.rfind("instance of Win32_FolderRedirectionHealth { ", 0), 0u)
            << row[1].text;
        EXPECT_EQ(row[1].text.find_first_of("\t\n"), std::string::npos) << row[1].text;
    }
}

TEST_F(WqlService, FailuresAreTheServicesCodes) {
    WqlTable table;
    EXPECT_EQ(RunWql("root\\cimv2", "select Name from Win32_Nothing", table), WBEM_E_INVALID_CLASS);
    EXPECT_EQ(RunWql("root\\cimv2", "select Nope from Win32_Process", table), WBEM_E_INVALID_QUERY);
    EXPECT_EQ(RunWql("root\\nowhere", "select Name from Win32_Process", table),
              WBEM_E_INVALID_NAMESPACE);
    EXPECT_EQ(DescribeClass("root\\cimv2", "Win32_Nothing", table), WBEM_E_NOT_FOUND);
}

TEST_F(WqlService, ClassesAndDescriptionsAreWhatTheServiceDeclares) {
    WqlTable classes;
    ASSERT_EQ(ListClasses("root\\cimv2", classes), S_OK);
    ASSERT_FALSE(classes.rows.empty());
    bool sawService = false;
    for (const auto& row : classes.rows)
        sawService |= row[0].text == "Win32_Service";
    EXPECT_TRUE(sawService);

    WqlTable bios;
    ASSERT_EQ(DescribeClass("root\\cimv2", "win32_bios", bios), S_OK);
    EXPECT_EQ(bios.columns, (std::vector<std::string>{"Property", "CimType", "Key", "Source"}));
    ASSERT_FALSE(bios.rows.empty());
    EXPECT_EQ(bios.rows[0][0].text, "BiosCharacteristics");  // the documented order
    const auto name = std::find_if(bios.rows.begin(), bios.rows.end(),
                                   [](const auto& row) { return row[0].text == "Name"; });
    ASSERT_NE(name, bios.rows.end());
    EXPECT_EQ((*name)[1].text, "string");
    EXPECT_EQ((*name)[2].text, "true");
    EXPECT_EQ((*name)[3].text, "DMI bios_version");
    // Every declared property of every class has its documented source.
    for (const auto& row : classes.rows) {
        WqlTable described;
        ASSERT_EQ(DescribeClass("root\\cimv2", row[0].text, described), S_OK) << row[0].text;
        for (const auto& property : described.rows)
            EXPECT_EQ(property[3].kind, WqlValue::Kind::Text)
                << row[0].text << "." << property[0].text;
    }
}

}  // namespace
