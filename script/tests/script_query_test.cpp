// The script query: what it reads from the query element, the time limit a "timeout" text
// gives, the output each kind of function value gives, and the whole road through the driver.
// The script engines are the test engine (test_script_engine.h).
#include <gtest/gtest.h>

#include "entry/query_driver.h"
#include "kvtest/com_support.h"
#include "kvtest/log_capture.h"
#include "kvwin/utf.h"
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
    HRESULT Initialize(const std::u16string& document) {
        IXMLDOMElementPtr root = GetRootElement(document.c_str());
        query = std::make_unique<CScriptQuery>();
        kvtest::ClearLoggedLines();  // what the collector base logged
        return query->Initialize(root);
    }

    std::unique_ptr<CScriptQuery> query;
};

TEST_F(ScriptQuery, EachMissingValueIsNamedInOneTraceLineAndFails) {
    struct Case {
        std::u16string document;
        std::string line;
    } cases[] = {
        {u"<query function='f' timeout='1'><scriptText>x</scriptText></query>",
         "8|CScriptQuery::Initialize|Cannot read 'scripType' attribute"},
        {u"<query scriptType='jscript' timeout='1'><scriptText>x</scriptText></query>",
         "8|CScriptQuery::Initialize|Cannot read 'function' attribute"},
        {u"<query scriptType='jscript' function='f'><scriptText>x</scriptText></query>",
         "8|CScriptQuery::Initialize|Cannot read 'timeout' attribute"},
        {u"<query scriptType='jscript' function='f' timeout='1'><text>x</text></query>",
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
    EXPECT_EQ(Initialize(u"<query scriptType='perl' function='' timeout='soon'>"
                         u"<scriptText/></query>"),
              1);
    EXPECT_TRUE(Lines().empty());
    // ... and perl runs nothing: an empty output, no engine made.
    std::u16string output = u"poison";
    EXPECT_EQ(query->Execute(output), S_OK);
    EXPECT_EQ(output, u"");
    EXPECT_EQ(Lines(), std::vector<std::string>{"8|CScriptQuery::Execute::Type|perl"});
    EXPECT_TRUE(ReadTestEngineLog().calls.empty());
}

TEST(ScriptTimeLimit, TextsReadAsWindowsReadsThem) {
    struct Case {
        std::u16string text;
        DWORD limit;
    } cases[] = {
        {u"abc", 10000},
        {u"0", 10000},
        {u"", 10000},
        {u"2500ms", 2500},
        {u"  +2000", 2000},
        {u"-1", 0xFFFFFFFF},
        {u"-2", 0xFFFFFFFE},
        {u"1", 1},
        {u"99999999999", 0x7FFFFFFF},
        {u"4294967295", 0x7FFFFFFF},  // saturates as _wtoi does: not "no limit"
    };
    for (const Case& c : cases)
        EXPECT_EQ(ScriptTimeLimit(c.text), c.limit) << kvwin::ToUtf8(c.text);
}

TEST_F(ScriptQuery, TheFunctionsValueBecomesTheOutput) {
    struct Case {
        std::u16string type, behaviour, output;
    } cases[] = {
        {u"jscript", u"number 7", u"7"},
        {u"JScript", u"number 0", u"0"},
        {u"VBScript", u"text &lt;row a=\"1\"/&gt;", u"<row a=\"1\"/>"},
        {u"jscript", u"nothing", u""},
        {u"jscript", u"fails", u""},
        {u"jscript", u"text ", u""},
    };
    for (const Case& c : cases) {
        const std::string what = kvwin::ToUtf8(c.type + u" " + c.behaviour);
        ASSERT_EQ(Initialize(u"<query scriptType='" + c.type +
                             u"' function='Collect' timeout='60000'><scriptText>Collect=" +
                             c.behaviour + u"</scriptText></query>"),
                  1)
            << what;
        std::u16string output = u"poison";
        EXPECT_EQ(query->Execute(output), S_OK) << what;
        EXPECT_EQ(output, c.output) << what;
    }
}

TEST_F(ScriptQuery, AValueWithoutTextFormFailsAsUnknownError) {
    ASSERT_EQ(Initialize(u"<query scriptType='jscript' function='Collect' timeout='60000'>"
                         u"<scriptText>Collect=array</scriptText></query>"),
              1);
    std::u16string output;
    EXPECT_EQ(query->Execute(output), static_cast<HRESULT>(0x8000FFFF));
    EXPECT_EQ(output, u"");
    EXPECT_EQ(Lines(), (std::vector<std::string>{"8|CScriptQuery::Execute::Type|jscript",
                                                 "8|CScriptQuery::Execute|UnKnown error"}));
    EXPECT_EQ(ReadTestEngineLog().live, 0) << "the engine was released";
}

TEST_F(ScriptQuery, TheDriverReturnsTheResultDocument) {
    BSTR result = nullptr;
    const std::u16string document =
        u"<query scriptType='vbscript' function='Rows' timeout='0'><scriptText>"
        u"Rows=text &lt;row name=\"a\"/&gt;</scriptText></query>";
    ASSERT_EQ(RunQueryDocument(document.c_str(), &result), S_OK);
    EXPECT_EQ(std::u16string(result, SysStringLen(result)),
              u"<result>\n<row name=\"a\"/></result>");
    SysFreeString(result);

    // A function without a value is a failed gathering: the driver wants an output.
    const std::u16string empty =
        u"<query scriptType='jscript' function='Rows' timeout='0'><scriptText>"
        u"Rows=nothing</scriptText></query>";
    result = nullptr;
    EXPECT_EQ(RunQueryDocument(empty.c_str(), &result), static_cast<HRESULT>(0x80041000));
    EXPECT_EQ(result, nullptr);
}

}  // namespace
