// Starting a query: the property names taken from the select list, and the start itself.
#include "engine_test_support.h"
#include "kvwin/wide_string.h"

namespace wmitest {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

class OpenQueryTest : public WmiEngineTest {};

struct SelectList {
    WString query;
    bool starts;
    std::vector<std::string> names;
};

const SelectList kSelectLists[] = {
    {TEXT("select Name,Version from Win32_Product "), true, {"Name", "Version"}},
    {TEXT("select Name, Version from X"), true, {"Name", " Version"}},  // pieces keep their blanks
    {TEXT("select Name"), true, {"Name"}},                              // no " from": the rest
    {TEXT("select Name,Caption"), true, {"Name", "Caption"}},
    {TEXT("select a,,b from x"), true, {"a", "", "b"}},  // empty pieces count
    {TEXT("select ,Name from x"), true, {"", "Name"}},
    {TEXT("select , from x"), true, {"", ""}},
    {TEXT("  select Name from x"), true, {"Name"}},  // "select " need not come first
    {TEXT("select Name from Win32_Bios where x='select '"), true, {"Name"}},
    {TEXT("select afrom,b from c"), true, {"afrom", "b"}},  // " from" needs its blank
    {TEXT("select Name\tfrom x"), true, {"Name\tfrom x"}},  // and only a blank will do
    {TEXT("SELECT Name FROM Win32_Bios"), false, {}},       // the search is case-sensitive
    {TEXT("Select Name from x"), false, {}},
    {TEXT("select"), false, {}},
    {TEXT("selectName from x"), false, {}},
    {TEXT(""), false, {}},
    {TEXT("select  from Win32_Service "), false, {}},  // a definition without properties
    {TEXT("select "), false, {}},
};

TEST_F(OpenQueryTest, NamesComeFromTheSelectList) {
    for (const SelectList& list : kSelectLists) {
        SCOPED_TRACE(Utf8(list.query));
        DeliveryPlan plan;
        plan.waitForCancel = true;  // the query runs until Close
        CWMIAsyncQuery engine;
        FakeServices* services = Connect(engine, std::move(plan));
        ClearLoggedLines();

        EXPECT_EQ(engine.OpenQuery(list.query), list.starts);
        std::vector<std::string> names;
        for (const WString& name : engine.PropertyNames())
            names.push_back(Utf8(name));
        EXPECT_THAT(names, ElementsAreArray(list.names));
        if (list.starts) {
            EXPECT_EQ(engine.State(), CWMIAsyncQuery::Running);
            EXPECT_EQ(services->QueryCalls(), 1);
            EXPECT_EQ(Utf8(services->Language()), "WQL");
            EXPECT_EQ(services->Query(), list.query);  // the whole text, unchanged
            EXPECT_EQ(services->QueryFlags(), 0);
            EXPECT_FALSE(services->QueryHadContext());
        } else {
            EXPECT_EQ(services->QueryCalls(), 0);
            EXPECT_EQ(engine.State(), CWMIAsyncQuery::Closed);
        }
        EXPECT_THAT(LoggedLines(), IsEmpty());

        engine.Close();
        EXPECT_TRUE(engine.PropertyNames().empty());
        services->Release();
        RemoveLocator();
    }
}

TEST_F(OpenQueryTest, ARefusedStartFailsTheQueryAndFetchRowsAtOnce) {
    DeliveryPlan plan;
    plan.startResult = WBEM_E_INVALID_QUERY;
    CWMIAsyncQuery engine;
    FakeServices* services = Connect(engine, std::move(plan));
    ClearLoggedLines();

    EXPECT_FALSE(engine.OpenQuery(TEXT("select Name from Win32_Nothing ")));
    EXPECT_EQ(engine.State(), CWMIAsyncQuery::Failed);
    EXPECT_NE(engine.Sink(), nullptr) << "the sink stays until the next Close";
    EXPECT_THAT(LoggedLines(), ElementsAre("8|CWMIAsyncQuery::OpenQuery|Error! WMI Query failed"));

    WMIRows rows;
    EXPECT_FALSE(engine.FetchRows(rows, 0xFFFFFFFFu));  // would wait for ever if it waited
    EXPECT_TRUE(rows.empty());
    engine.Close();
    EXPECT_EQ(engine.Sink(), nullptr);
    EXPECT_EQ(engine.State(), CWMIAsyncQuery::Closed);
    services->Release();
}

TEST_F(OpenQueryTest, WithoutAConnectionTheStartFails) {
    CWMIAsyncQuery engine;
    EXPECT_EQ(engine.State(), CWMIAsyncQuery::Complete);
    EXPECT_FALSE(engine.OpenQuery(TEXT("select Name from Win32_Bios ")));
    EXPECT_EQ(engine.State(), CWMIAsyncQuery::Failed);
    EXPECT_THAT(LoggedLines(), ElementsAre("8|CWMIAsyncQuery::OpenQuery|Error! WMI Query failed"));
}

}  // namespace
}  // namespace wmitest
