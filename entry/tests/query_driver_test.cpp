// The in-process road of a query document: which kind of query it becomes, what each
// outcome returns, what is logged and in which order. The query kinds are test kinds put in
// place of the real ones, so every outcome can be chosen.
#include <gtest/gtest.h>

#include <stdexcept>

#include "entry/query_driver.h"
#include "entry/query_factory.h"
#include "errors/error_description.h"
#include "fake_hub_event.h"
#include "kvtest/com_support.h"
#include "kvtest/log_capture.h"
#include "kvwin/utf.h"
#include "kvwin/wide_string.h"
#include "win/oleauto.h"

namespace {

using kvtest::Lines;

constexpr HRESULT kGatheringFailed = static_cast<HRESULT>(0x80041000);

// What the test kind does, and what happened to it.
struct Plan {
    HRESULT initialize = S_OK;
    HRESULT execute = S_OK;
    WString output = TEXT("<row/>");
    enum class Throw { Nothing, ComError, Other } throws = Throw::Nothing;
    // Filled in by the query.
    std::string kind;
    int initialized = 0;
    int executed = 0;
    bool destroyed = false;
};

class TestQuery final : public CQuery {
  public:
    TestQuery(Plan& plan, std::string kind) : plan_(plan) { plan_.kind = std::move(kind); }
    ~TestQuery() override { plan_.destroyed = true; }
    HRESULT Initialize(IXMLDOMElementPtr& query) override {
        EXPECT_TRUE(query);
        ++plan_.initialized;
        return plan_.initialize;
    }
    HRESULT Execute(WString& output) override {
        ++plan_.executed;
        if (plan_.throws == Plan::Throw::ComError)
            ThrowComError(E_ACCESSDENIED, TEXT("the test's own description"));
        if (plan_.throws == Plan::Throw::Other)
            throw std::runtime_error("not a COM error");
        output = plan_.output;
        return plan_.execute;
    }

  private:
    Plan& plan_;
};

class QueryDriver : public ::testing::Test {
  protected:
    kvtest::ScopedApartment apartment;
    Plan plan;
    ScopedQueryMaker script{QueryKind::Script,
                            [this] { return std::make_shared<TestQuery>(plan, "script"); }};
    ScopedQueryMaker wmi{QueryKind::Wmi,
                         [this] { return std::make_shared<TestQuery>(plan, "wmi"); }};
    WCHAR poison[7] = TEXT("poison");
    BSTR result = poison;

    void SetUp() override { kvtest::ClearLoggedLines(); }

    HRESULT Run(const WString& document) { return RunQueryDocument(document.c_str(), &result); }
    WString Result() const { return WString(result, SysStringLen(result)); }
    void TearDown() override {
        if (result != poison)
            SysFreeString(result);
    }
};

TEST_F(QueryDriver, TheRootElementsAttributesChooseTheKind) {
    struct Case {
        const WCHAR* document;
        const char* kind;
    } cases[] = {
        {TEXT("<q scriptType=\"VBScript\" namespace=\"root\\cimv2\"/>"), "script"},
        {TEXT("<q scriptType=\"\"/>"), "script"},
        {TEXT("<q namespace=\"\"/>"), "wmi"},
        {TEXT("<anything namespace=\"root\\cimv2\"><child scriptType=\"x\"/></anything>"), "wmi"},
    };
    for (const Case& c : cases) {
        plan = Plan{};
        ASSERT_EQ(Run(c.document), S_OK) << kvwin::ToUtf8(c.document);
        EXPECT_EQ(plan.kind, c.kind) << kvwin::ToUtf8(c.document);
        EXPECT_TRUE(plan.destroyed);
        SysFreeString(result);
        result = poison;
    }
}

TEST_F(QueryDriver, AQueryOfNoKnownKindIsNeverInitialised) {
    EXPECT_EQ(Run(TEXT("<q Namespace=\"x\" scripttype=\"y\"/>")), E_FAIL);
    EXPECT_EQ(plan.initialized, 0);
    EXPECT_EQ(result, poison);
    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           "8|ZorKavrel::GetInventoryInformation()|Entered",
                           "8|CZorKavrel::GetInventoryInformation|Unknown query type"}));
}

TEST_F(QueryDriver, ASuccessfulOutputStandsBetweenTheResultTagsUnchanged) {
    plan.output = TEXT("<row a=\"1\"/>\n  <row>\xE9\xD83D\xDE00</row>  ");
    ASSERT_EQ(Run(TEXT("<q namespace=\"root\\cimv2\"/>")), S_OK);
    EXPECT_EQ(Result(), TEXT("<result>\n<row a=\"1\"/>\n  <row>\xE9\xD83D\xDE00</row>  </result>"));
    EXPECT_EQ(Lines().back(),
              "8|CZorKavrel::GetInventoryInformation()|Kavrel inventory gathering succeeded");
}

TEST_F(QueryDriver, FailuresOfTheQueryGiveTheirStatusAndNoResult) {
    struct Case {
        const char* name;
        HRESULT initialize, execute;
        WString output;
        HRESULT expected;
        std::string lastLine;
    } cases[] = {
        {"initialise fails", E_OUTOFMEMORY, S_OK, TEXT("x"), E_FAIL,
         "1|CZorKavrel::GetInventoryInformation|Initialization of Query Data Failed"},
        {"S_FALSE initialises", S_FALSE, S_OK, TEXT("x"), S_OK,
         "8|CZorKavrel::GetInventoryInformation()|Kavrel inventory gathering succeeded"},
        {"execute fails", S_OK, E_FAIL, TEXT("x"), kGatheringFailed,
         "8|CZorKavrel::GetInventoryInformation() Failed|Inventory gathering failed"},
        {"empty output", S_OK, S_OK, TEXT(""), kGatheringFailed,
         "8|CZorKavrel::GetInventoryInformation() Failed|Inventory gathering failed"},
    };
    for (const Case& c : cases) {
        plan = Plan{};
        plan.initialize = c.initialize;
        plan.execute = c.execute;
        plan.output = c.output;
        kvtest::ClearLoggedLines();
        EXPECT_EQ(Run(TEXT("<q scriptType=\"JScript\"/>")), c.expected) << c.name;
        EXPECT_EQ(Lines().back(), c.lastLine) << c.name;
        EXPECT_TRUE(plan.destroyed) << c.name;
        if (c.expected == S_OK) {
            SysFreeString(result);
            result = poison;
        }
        EXPECT_EQ(result, poison) << c.name;
    }
}

TEST_F(QueryDriver, MalformedTextIsReportedByTheLoaderAndThenByTheDriver) {
    EXPECT_EQ(Run(TEXT("<q namespace='x'><unclosed></q>")), kGatheringFailed);
    EXPECT_EQ(result, poison);
    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "8|ZorKavrel::GetInventoryInformation()|Entered");
    EXPECT_EQ(lines[1].rfind("2|LoadXMLDOMDocument|Error loading document: ", 0), 0u) << lines[1];
    EXPECT_NE(lines[1].find("(-1072896763)"), std::string::npos) << lines[1];  // the parser's code
    EXPECT_EQ(lines[2].rfind("8|CZorKavrel::GetInventoryInformation|Execution of query Failed, "
                             "COM error: ",
                             0),
              0u)
        << lines[2];
    EXPECT_NE(lines[2].find("(0xC00CE505)"), std::string::npos) << lines[2];
    EXPECT_EQ(lines[3],
              "8|CZorKavrel::GetInventoryInformation() Failed|Inventory gathering failed");
}

TEST_F(QueryDriver, HostileTextNeverHarmsTheHost) {
    const WString documents[] = {
        TEXT(""),
        TEXT("not xml at all"),
        TEXT("\xD800"),
        WString(TEXT("<q namespace='a'>\0</q>"), 21),
        TEXT("<q namespace='a'>") + WString(100000, TEXT('<')),
        WString(5000, TEXT('<')) + TEXT("q/>"),
    };
    for (const auto& document : documents) {
        EXPECT_EQ(Run(document), kGatheringFailed);
        EXPECT_EQ(result, poison);
    }
    EXPECT_EQ(plan.initialized, 0);
}

TEST_F(QueryDriver, ExceptionsOfTheQueryStopAtTheDriver) {
    plan.throws = Plan::Throw::ComError;
    EXPECT_EQ(Run(TEXT("<q namespace='a'/>")), kGatheringFailed);
    std::vector<std::string> lines = Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2],
              "8|CZorKavrel::GetInventoryInformation|Execution of query Failed, COM error: the "
              "test's own description (0x80070005)");
    EXPECT_TRUE(plan.destroyed);

    plan = Plan{};
    plan.throws = Plan::Throw::Other;
    kvtest::ClearLoggedLines();
    EXPECT_EQ(Run(TEXT("<q namespace='a'/>")), kGatheringFailed);
    lines = Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "8|CZorKavrel::GetInventoryInformation|UnKnown error");
    EXPECT_EQ(result, poison);
}

TEST_F(QueryDriver, AnEventComponentThatCannotBeCreatedFailsTheQuery) {
    entrytest::FakeEventScript script;
    script.create = REGDB_E_CLASSNOTREG;
    entrytest::ScopedFakeHubEvent fake(script);
    EXPECT_EQ(Run(TEXT("<q namespace='a'/>")), kGatheringFailed);
    EXPECT_EQ(plan.initialized, 0);
    const std::vector<std::string> lines = Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_NE(lines[lines.size() - 2].find("Execution of query Failed, COM error: "),
              std::string::npos);
    EXPECT_NE(lines[lines.size() - 2].find("(0x80040154)"), std::string::npos);
}

// The library's own WMI query keeps what it read of a document for the next run of the same
// text; a kind put in its place is still made, and reads the element, every time.
TEST(QueryDriverKept, AReplacedKindIsMadeForATextTheLibraryRanBefore) {
    kvtest::ScopedApartment apartment;
    const WString document = TEXT("<query namespace='root\\cimv2' class='None'><properties>")
        TEXT("<property mapsTo='0'>Name</property></properties></query>");
    BSTR result = nullptr;
    RunQueryDocument(document.c_str(), &result);  // the library's query: read and kept
    SysFreeString(result);
    Plan plan;
    int made = 0;
    ScopedQueryMaker wmi{QueryKind::Wmi, [&] {
                             ++made;
                             return std::make_shared<TestQuery>(plan, "wmi");
                         }};
    result = nullptr;
    ASSERT_EQ(RunQueryDocument(document.c_str(), &result), S_OK);
    EXPECT_EQ(WString(result, SysStringLen(result)), TEXT("<result>\n<row/></result>"));
    SysFreeString(result);
    EXPECT_EQ(made, 1);
    EXPECT_EQ(plan.initialized, 1);
    EXPECT_EQ(plan.executed, 1);
}

// A kept definition answers its whole text only: a text that stops short of it, or goes on
// past it, is loaded (and here refused by the parser) as the first time.
TEST(QueryDriverKept, OnlyTheWholeTextFindsItsDefinition) {
    kvtest::ScopedApartment apartment;
    const WString document = TEXT("<query namespace='root\\cimv2' class='None'><properties>")
        TEXT("<property mapsTo='0'>Name</property></properties></query><!--kept-->");
    BSTR result = nullptr;
    RunQueryDocument(document.c_str(), &result);  // read and kept
    SysFreeString(result);
    for (const WString& other : {document.substr(0, document.size() - 4), document + TEXT("<")}) {
        kvtest::ClearLoggedLines();
        result = nullptr;
        EXPECT_EQ(RunQueryDocument(other.c_str(), &result), kGatheringFailed);
        EXPECT_EQ(result, nullptr);
        bool loaded = false;
        for (const std::string& line : Lines())
            loaded = loaded || line.rfind("2|LoadXMLDOMDocument|Error loading document: ", 0) == 0;
        EXPECT_TRUE(loaded) << kvwin::ToUtf8(other);
    }
}

}  // namespace
