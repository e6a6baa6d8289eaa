// Running a WMI query's definition: connection failures, the statement's failures, and rows
// assembled from objects through the conversions into the collector. WMI is a stand-in
// that delivers chosen objects on a thread of its own.
#include <gtest/gtest.h>

#include "fake_wmi.h"
#include "kvtest/com_support.h"
#include "kvtest/log_capture.h"
#include "kvwin/utf.h"
#include "kvwin/wide_string.h"
#include "wmi/query/wmi_query.h"
#include "xml/xml_document.h"

namespace {

using kvtest::Lines;
using wmitest::DeliveryPlan;
using wmitest::FakeLocator;
using wmitest::FakeObject;
using wmitest::FakeServices;

class WmiQueryExecution : public ::testing::Test {
  protected:
    kvtest::ScopedApartment apartment;

    void TearDown() override { wmitest::RemoveLocator(); }

    // WMI answers ConnectServer with `result` and serves `plan`, whose objects it takes over
    // (the services keep references of their own; the test's go here).
    void Serve(HRESULT result, DeliveryPlan plan) {
        std::vector<FakeObject*> created;
        for (const auto& batch : plan.batches)
            created.insert(created.end(), batch.begin(), batch.end());
        FakeServices* services = new FakeServices(std::move(plan));
        for (FakeObject* object : created) {
            if (object)
                object->Release();
        }
        FakeLocator* locator = new FakeLocator(result, SUCCEEDED(result) ? services : nullptr);
        wmitest::InstallLocator(locator);
        locator->Release();
        services->Release();
    }

    // Initialises a query from the document, clears the log, and executes it.
    HRESULT Execute(const WString& document, WString& output) {
        query = std::make_unique<CWMIQuery>();
        IXMLDOMElementPtr root = GetRootElement(document.c_str());
        EXPECT_EQ(query->Initialize(root), S_OK);
        kvtest::ClearLoggedLines();
        return query->Execute(output);
    }

    std::unique_ptr<CWMIQuery> query;
};

FakeObject* Service(const WCHAR* name, bool started, const WCHAR* mode) {
    FakeObject* object = wmitest::NewObject();
    object->Set(TEXT("Name"), _variant_t(name));
    object->Set(TEXT("Started"), _variant_t(started));
    if (mode)
        object->Set(TEXT("StartMode"), _variant_t(mode));
    else
        object->Set(TEXT("StartMode"), wmitest::Null());
    return object;
}

constexpr const WCHAR* kServiceQuery = TEXT("<q namespace='root\\cimv2' class='Win32_Service'>")
    TEXT("<rules><rule name='bit'><definition><function name='GetSQLBooleantoBit'/></definition>")
        TEXT("</rule></rules><properties>") TEXT("<property mapsTo='0'>Name</property>")
            TEXT("<property mapsTo='1' rule='bit'>Started</property>")
                TEXT("<property mapsTo='2'>StartMode</property>")
                    TEXT("</properties><filter clause=\"where State='Running'\"/></q>");

TEST_F(WmiQueryExecution, ObjectsBecomeRowsWithConvertedValues) {
    DeliveryPlan plan;
    plan.batches = {{Service(TEXT(" ssh\t"), true, TEXT("Auto"))},
                    {Service(TEXT("cron"), false, nullptr)}};
    Serve(S_OK, std::move(plan));
    WString output = TEXT("previous");
    ASSERT_EQ(Execute(kServiceQuery, output), S_OK);
    EXPECT_EQ(output,
              TEXT("<row><value column=\"0\">ssh</value><value column=\"1\">1</value>")
                  TEXT("<value column=\"2\">Auto</value></row>\n")
                      TEXT("<row><value column=\"0\">cron</value><value column=\"1\">0</value>")
                          TEXT("<value column=\"2\"/></row>"))
        << kvwin::ToUtf8(output);
}

TEST_F(WmiQueryExecution, AQueryWithoutObjectsSucceedsWithNoRows) {
    Serve(S_OK, DeliveryPlan{});
    WString output = TEXT("previous");
    EXPECT_EQ(Execute(kServiceQuery, output), S_OK);
    EXPECT_EQ(output, TEXT(""));
}

TEST_F(WmiQueryExecution, ANamespaceThatDoesNotExistLeavesTheOutputAlone) {
    Serve(WBEM_E_INVALID_NAMESPACE, DeliveryPlan{});
    WString output = TEXT("previous");
    EXPECT_EQ(
        Execute(TEXT("<q namespace='root\\nowhere' class='C'><properties><property>A</property>")
                    TEXT("</properties></q>"),
                output),
        kWmiQueryFailed);
    EXPECT_EQ(output, TEXT("previous"));
    EXPECT_EQ(Lines(),
              (std::vector<std::string>{
                  "8|CWMIAsyncQuery::ConnectServer|Error! The specified namespace does "
                  "not exist on the server.",
                  "8|wmiquery(189)|CE_FAILED_THROW_ERROR_MSG fffffff4",
                  "2|CWMIQuery::Execute|Failed to execute WMI query, COM error: Error in "
                  "Connecting WMI Server: namespace = \\\\.\\root\\nowhere (0xFFFFFFF4)"}));
}

TEST_F(WmiQueryExecution, AStatementWithoutPropertiesFailsWithItsText) {
    Serve(S_OK, DeliveryPlan{});
    WString output = TEXT("previous");
    EXPECT_EQ(Execute(TEXT("<q namespace='root\\cimv2' class='Win32_BIOS'/>"), output),
              kWmiQueryFailed);
    EXPECT_EQ(output, TEXT(""));  // the connection was made: the output is the (empty) row text
    EXPECT_EQ(Lines(),
              (std::vector<std::string>{
                  "1|CWMIQuery::ExecuteQuery|WMI Query Failed - Query:select  from Win32_BIOS ",
                  "2|CWMIQuery::Execute|Error in executing query"}));
}

TEST_F(WmiQueryExecution, BindingsMatchTheirOwnCaseOnly) {
    FakeObject* object = wmitest::NewObject();
    object->Set(TEXT("Name"), _variant_t(TEXT("upper")));
    object->Set(TEXT("name"), _variant_t(TEXT("lower")));
    DeliveryPlan plan;
    plan.batches = {{object}};
    Serve(S_OK, std::move(plan));
    WString output;
    ASSERT_EQ(
        Execute(TEXT("<q namespace='root\\cimv2' class='C'><properties>")
                    TEXT("<property mapsTo='1'>name</property><property mapsTo='0'>Name</property>")
                        TEXT("</properties></q>"),
                output),
        S_OK);
    EXPECT_EQ(
        output,
        TEXT("<row><value column=\"0\">upper</value><value column=\"1\">lower</value></row>"));
}

TEST_F(WmiQueryExecution, AConversionThatRaisesEndsTheQueryAfterTheColumnsBeforeIt) {
    FakeObject* object = wmitest::NewObject();
    object->Set(TEXT("Name"), _variant_t(TEXT("x")));
    object->Set(TEXT("InstallDate"), _variant_t(TEXT("2020")));  // too short for a date-time
    DeliveryPlan plan;
    plan.batches = {{object}};
    Serve(S_OK, std::move(plan));
    WString output;
    EXPECT_EQ(
        Execute(
            TEXT("<q namespace='root\\cimv2' class='C'><rules><rule name='t'><definition>")
                TEXT("<function name='GetHubTimeFormat'/></definition></rule></rules><properties>")
                    TEXT("<property mapsTo='0'>Name</property>")
                        TEXT("<property mapsTo='1' rule='t'>InstallDate</property>")
                            TEXT("</properties></q>"),
            output),
        kWmiQueryFailed);
    EXPECT_EQ(output, TEXT("<row><value column=\"0\">x</value></row>"));
    const std::vector<std::string> lines = Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "1|CWMIQuery::ExecuteQuery|UnKnown Error");
    EXPECT_EQ(lines.back(), "2|CWMIQuery::Execute|Error in executing query");
}

}  // namespace
