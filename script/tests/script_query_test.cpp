// The script query: what it reads from the query element, the time limit a "timeout" text
// gives, the output each kind of function value gives, and the whole road through the driver.
// The script engines are the test engine (test_script_engine.h).
#include <gtest/gtest.h>

#include "entry/query_driver.h"
#include "kvtest/com_support.h"
#include "kvtest/log_capture.h"
#include "kvwin/utf.h"
#include "kvwin/wide_string.h"
#include "script/script_query.h"
#include "test_script_engine.h"
#include "xml/xml_document.h"

namespace {

using kvtest::Lines;

class ScriptQuery : public ::testing::Test {
  protected:
    kvtest::ScopedApartment apartment;
    ScopedTestEngine engines;

    void SetUp() override {
        kvtest::ClearLoggedLines();
        ClearTestEngineLog();
    }

    // Initialises a query from document; the query is kept for Execute.
    HRESULT Initialize(const WString& document) {
        IXMLDOMElementPtr root = GetRootElement(document.c_str());
        query = std::make_unique<CScriptQuery>();
        kvtest::ClearLoggedLines();  // what the collector base logged
        return query->Initialize(root);
    }

    std::unique_ptr<CScriptQuery> query;
};

TEST_F(ScriptQuery, EachMissingValueIsNamedInOneTraceLineAndFails) {
    struct Case {
        WString document;
        std::string line;
    } cases[] = {
        {TEXT("<query function='f' timeout='1'><scriptText>x</scriptText></query>"),
         "8|CScriptQuery::Initialize|Cannot read 'scripType' attribute"},
        {TEXT("<query scriptType='jscript' timeout='1'><scriptText>x</scriptText></query>"),
         "8|CScriptQuery::Initialize|Cannot read 'function' attribute"},
        {TEXT("<query scriptType='jscript' function='f'><scriptText>x</scriptText></query>"),
         "8|CScriptQuery::Initialize|Cannot read 'timeout' attribute"},
        {TEXT("<query scriptType='jscript' function='f' timeout='1'><text>x</text></query>"),
         "8|CScriptQuery::Initialize|Cannot read 'scripText' value"},
    };
    for (const Case& c : cases) {
        kvtest::ClearLoggedLines();
        EXPECT_EQ(Initialize(c.document), E_FAIL) << c.line;
        EXPECT_EQ(Lines(), std::vector<std::string>{c.line});
    }
}

TEST_F(ScriptQuery, PresentValuesAreAcceptedUnchecked) {
    // An unknown type, a time limit without digits, an empty script: present is enough.
    EXPECT_EQ(Initialize(TEXT("<query scriptType='perl' function='' timeout='soon'>")
                             TEXT("<scriptText/></query>")),
              1);
    EXPECT_TRUE(Lines().empty());
    // ... and perl runs nothing: an empty output, no engine made.
    WString output = TEXT("poison");
    EXPECT_EQ(query->Execute(output), S_OK);
    EXPECT_EQ(output, TEXT(""));
    EXPECT_EQ(Lines(), std::vector<std::string>{"8|CScriptQuery::Execute::Type|perl"});
    EXPECT_TRUE(ReadTestEngineLog().calls.empty());
}

TEST(ScriptTimeLimit, TextsReadAsWindowsReadsThem) {
    struct Case {
        WString text;
        DWORD limit;
    } cases[] = {
        {TEXT("abc"), 10000},
        {TEXT("0"), 10000},
        {TEXT(""), 10000},
        {TEXT("2500ms"), 2500},
        {TEXT("  +2000"), 2000},
        {TEXT("-1"), 0xFFFFFFFF},
        {TEXT("-2"), 0xFFFFFFFE},
        {TEXT("1"), 1},
        {TEXT("99999999999"), 0x7FFFFFFF},
        {TEXT("4294967295"), 0x7FFFFFFF},  // saturates as _wtoi does: not "no limit"
    };
    for (const Case& c : cases)
        EXPECT_EQ(ScriptTimeLimit(c.text), c.limit) << kvwin::ToUtf8(c.text);
}

TEST_F(ScriptQuery, TheFunctionsValueBecomesTheOutput) {
    struct Case {
        WString type, behaviour, output;
    } cases[] = {
        {TEXT("jscript"), TEXT("number 7"), TEXT("7")},
        {TEXT("JScript"), TEXT("number 0"), TEXT("0")},
        {TEXT("VBScript"), TEXT("text &lt;row a=\"1\"/&gt;"), TEXT("<row a=\"1\"/>")},
        {TEXT("jscript"), TEXT("nothing"), TEXT("")},
        {TEXT("jscript"), TEXT("fails"), TEXT("")},
        {TEXT("jscript"), TEXT("text "), TEXT("")},
    };
    for (const Case& c : cases) {
        const std::string what = kvwin::ToUtf8(c.type + TEXT(" ") + c.behaviour);
        ASSERT_EQ(Initialize(TEXT("<query scriptType='") + c.type +
                             TEXT("' function='Collect' timeout='60000'><scriptText>Collect=") +
                             c.behaviour + TEXT("</scriptText></query>")),
                  1)
            << what;
        WString output = TEXT("poison");
        EXPECT_EQ(query->Execute(output), S_OK) << what;
        EXPECT_EQ(output, c.output) << what;
    }
}

TEST_F(ScriptQuery, AValueWithoutTextFormFailsAsUnknownError) {
    ASSERT_EQ(Initialize(TEXT("<query scriptType='jscript' function='Collect' timeout='60000'>")
                             TEXT("<scriptText>Collect=array</scriptText></query>")),
              1);
    WString output;
    EXPECT_EQ(query->Execute(output), static_cast<HRESULT>(0x8000FFFF));
    EXPECT_EQ(output, TEXT(""));
    EXPECT_EQ(Lines(), (std::vector<std::string>{"8|CScriptQuery::Execute::Type|jscript",
                                                 "8|CScriptQuery::Execute|UnKnown error"}));
    EXPECT_EQ(ReadTestEngineLog().live, 0) << "the engine was released";
}

TEST_F(ScriptQuery, TheDriverReturnsTheResultDocument) {
    BSTR result = nullptr;
    const WString document =
        TEXT("<query scriptType='vbscript' function='Rows' timeout='0'><scriptText>")
            TEXT("Rows=text &lt;row name=\"a\"/&gt;</scriptText></query>");
    ASSERT_EQ(RunQueryDocument(document.c_str(), &result), S_OK);
    EXPECT_EQ(WString(result, SysStringLen(result)), TEXT("<result>\n<row name=\"a\"/></result>"));
    SysFreeString(result);

    // A function without a value is a failed gathering: the driver wants an output.
    const WString empty =
        TEXT("<query scriptType='jscript' function='Rows' timeout='0'><scriptText>")
            TEXT("Rows=nothing</scriptText></query>");
    result = nullptr;
    EXPECT_EQ(RunQueryDocument(empty.c_str(), &result), static_cast<HRESULT>(0x80041000));
    EXPECT_EQ(result, nullptr);
}

}  // namespace
