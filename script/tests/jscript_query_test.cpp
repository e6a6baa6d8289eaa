// Script queries run by the real JScript engine, from the query element to the output text,
// under the time limit and the session's cancellation event, and the example documents.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <stdexcept>

#include "entry/query_driver.h"
#include "kvtest/com_support.h"
#include "kvtest/log_capture.h"
#include "kvtest/test_env.h"
#include "kvwin/com_runtime.h"
#include "kvwin/dispatch_object.h"
#include "kvwin/utf.h"
#include "kvwin/wide_string.h"
#include "script/script_query.h"
#include "script/script_runner.h"
#include "win/kernel_objects.h"
#include "xml/xml_document.h"

namespace {

constexpr const WCHAR* kStartedEvent = TEXT("Local\\KavrelTestJScriptStarted");

// What a script calls to say it has started: new ActiveXObject("KavrelTest.Signal").Started()
// sets the named event kStartedEvent, which any process of the session can wait for.
class Signal final : public kvwin::DispatchObject<Signal, IDispatch> {
  public:
    static std::span<const kvwin::DispatchMember<Signal>> DispatchMembers() {
        static const kvwin::DispatchMember<Signal> members[] = {
            {TEXT("Started"), 1, DISPATCH_METHOD, 0, 0, [](Signal&, kvwin::DispatchCall&) {
                 HANDLE started = CreateEventW(nullptr, TRUE, FALSE, kStartedEvent);
                 SetEvent(started);
                 CloseHandle(started);
                 return S_OK;
             }}};
        return members;
    }
};

void RegisterSignal() {
    kvwin::RegisterBuiltinClass({kvwin::GuidFromLiteral("5B0E8D1C-3C2B-4A53-9A8E-2E7C1A0F4D61"),
                                 TEXT("KavrelTest.Signal"), TEXT(""),
                                 kvwin::CreateComInstance<Signal>, TEXT("")});
}

WString Escaped(const WString& text) {
    WString out;
    for (WCHAR c : text) {
        if (c == TEXT('<'))
            out += TEXT("&lt;");
        else if (c == TEXT('&'))
            out += TEXT("&amp;");
        else
            out += c;
    }
    return out;
}

WString Document(const WString& function, const WString& timeout, const WString& script) {
    return TEXT("<query scriptType='JScript' function='") + function + TEXT("' timeout='") +
           timeout + TEXT("'><scriptText>") + Escaped(script) + TEXT("</scriptText></query>");
}

struct Outcome {
    HRESULT initialized = E_FAIL;
    HRESULT executed = E_FAIL;
    WString output;
};

Outcome Execute(const WString& document) {
    Outcome outcome;
    CScriptQuery query;
    IXMLDOMElementPtr root = GetRootElement(document.c_str());
    outcome.initialized = query.Initialize(root);
    if (SUCCEEDED(outcome.initialized))
        outcome.executed = query.Execute(outcome.output);
    return outcome;
}

class JScriptQuery : public ::testing::Test {
  protected:
    kvtest::ScopedApartment apartment;
};

TEST_F(JScriptQuery, TheFunctionsValueAsText) {
    struct Case {
        const char* what;
        WString function, script, output;
    } cases[] = {
        {"a number", TEXT("Seven"), TEXT("function Seven() { return 3 + 4; }"), TEXT("7")},
        {"a real", TEXT("Half"), TEXT("function Half() { return 1 / 2; }"), TEXT("0.5")},
        {"nothing", TEXT("Nothing"), TEXT("function Nothing() { var x = 1; }"), TEXT("")},
        {"rows built by the script", TEXT("Rows"),
         TEXT("var d = new ActiveXObject('Scripting.Dictionary');\n")
             TEXT("d.Add('a', 1); d.Add('b', 'two');\n") TEXT("function Rows() {\n")
                 TEXT("  var out = '', keys = new VBArray(d.Keys()).toArray();\n")
                     TEXT("  for (var i = 0; i < keys.length; ++i)\n")
                         TEXT("    out += '<row name=\"' + keys[i] + '\" value=\"' + "
                              "d.Item(keys[i]) + '\"/>';\n") TEXT("  return out;\n") TEXT("}"),
         TEXT("<row name=\"a\" value=\"1\"/><row name=\"b\" value=\"two\"/>")},
        {"a syntax error", TEXT("F"), TEXT("function F() { return 1 +; }"), TEXT("")},
        {"an error in the global code", TEXT("F"),
         TEXT("undefinedThing(); function F() { return 1; }"), TEXT("")},
        {"a run-time error", TEXT("F"), TEXT("function F() { return null.x; }"), TEXT("")},
        {"an undefined function", TEXT("G"), TEXT("function F() { return 1; }"), TEXT("")},
        {"names are case-sensitive", TEXT("f"), TEXT("function F() { return 1; }"), TEXT("")},
    };
    for (const Case& c : cases) {
        const Outcome outcome = Execute(Document(c.function, TEXT("60000"), c.script));
        EXPECT_EQ(outcome.initialized, 1) << c.what;
        EXPECT_EQ(outcome.executed, S_OK) << c.what;
        EXPECT_EQ(outcome.output, c.output) << c.what << ": " << kvwin::ToUtf8(outcome.output);
    }
}

TEST_F(JScriptQuery, AValueWithoutTextFormFailsAsUnknownError) {
    kvtest::ClearLoggedLines();
    const Outcome outcome =
        Execute(Document(TEXT("F"), TEXT("60000"), TEXT("function F() { return [1, 2]; }")));
    EXPECT_EQ(outcome.executed, static_cast<HRESULT>(0x8000FFFF));
    EXPECT_EQ(outcome.output, TEXT(""));
    EXPECT_EQ(kvtest::Lines().back(), "8|CScriptQuery::Execute|UnKnown error");
}

TEST_F(JScriptQuery, AnEndlessLoopEndsAtTheTimeLimit) {
    const auto start = std::chrono::steady_clock::now();
    const Outcome outcome = Execute(
        Document(TEXT("Spin"), TEXT("2000"), TEXT("function Spin() { for (;;) {} return 1; }")));
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start)
                             .count();
    EXPECT_EQ(outcome.executed, S_OK);
    EXPECT_EQ(outcome.output, TEXT(""));
    EXPECT_GE(elapsed, 1950);
    EXPECT_LT(elapsed, 60000);
}

TEST_F(JScriptQuery, AnEndlessLoopInTheGlobalCodeEndsAtTheTimeLimitToo) {
    const Outcome outcome =
        Execute(Document(TEXT("F"), TEXT("2000"),
                         TEXT("while (true) { try { for (;;) {} } catch (e) {} }\n")
                             TEXT("function F() { return 1; }")));
    EXPECT_EQ(outcome.executed, S_OK);
    EXPECT_EQ(outcome.output, TEXT(""));
}

// One process of the session runs a script without a time limit; another waits until the
// script says it runs and sets the cancellation event.
TEST(JScriptCancellation, TheEventSetByAnotherProcessStopsTheScript) {
    const auto children = kvtest::RunInChildren(2, [](int index) {
        if (index == 0) {
            kvtest::ScopedApartment apartment;
            RegisterSignal();
            // Held open so the signal outlives the script's own short-lived handle, whenever
            // the other process comes to look (a named event lives while someone holds it).
            HANDLE started = CreateEventW(nullptr, TRUE, FALSE, kStartedEvent);
            HANDLE cancellation = CreateEventW(nullptr, TRUE, FALSE, kScriptCancellationEventName);
            const Outcome outcome = Execute(
                Document(TEXT("Spin"), TEXT("-1"),
                         TEXT("function Spin() { new ActiveXObject('KavrelTest.Signal').Started();")
                             TEXT(" for (;;) {} return 'finished'; }")));
            if (outcome.executed != S_OK || !outcome.output.empty())
                throw std::runtime_error("the script was not stopped");
            if (WaitForSingleObject(cancellation, 0) != static_cast<DWORD>(WAIT_TIMEOUT))
                throw std::runtime_error("the event was not reset");
            CloseHandle(cancellation);
            CloseHandle(started);
        } else {
            HANDLE started = CreateEventW(nullptr, TRUE, FALSE, kStartedEvent);
            if (WaitForSingleObject(started, 120000) != WAIT_OBJECT_0)
                throw std::runtime_error("the script never started");
            HANDLE cancellation = CreateEventW(nullptr, TRUE, FALSE, kScriptCancellationEventName);
            SetEvent(cancellation);
            CloseHandle(cancellation);
            CloseHandle(started);
        }
    });
    for (const kvtest::ChildResult& child : children) {
        EXPECT_TRUE(child.exited) << child.output;
        EXPECT_EQ(child.exit_code, 0) << child.output;
    }
}

// Every example document runs through the driver and gives rows.
TEST(ScriptExamples, EachGivesAResultDocumentWithRows) {
    // The library chose the process's temp folder when it was loaded, before this case's
    // state root was in place; the examples that make files (Exec's captures) need one that
    // exists under it.
    const std::string temp = kvtest::MakeTempFolder("temp");
    ::setenv("TMP", temp.c_str(), 1);
    ::setenv("TEMP", temp.c_str(), 1);
    kvtest::ScopedApartment apartment;
    int examples = 0;
    for (const auto& entry : std::filesystem::directory_iterator(KAVREL_EXAMPLES_DIR)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("script-", 0) != 0 || entry.path().extension() != ".xml")
            continue;
        ++examples;
        std::ifstream file(entry.path(), std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
        const WString document = kvwin::FromUtf8(text);
        BSTR result = nullptr;
        ASSERT_EQ(RunQueryDocument(document.c_str(), &result), S_OK) << name;
        const std::string output = kvwin::ToUtf8(WString(result, SysStringLen(result)));
        SysFreeString(result);
        EXPECT_EQ(output.rfind("<result>\n<row ", 0), 0u) << name << ": " << output;
        EXPECT_EQ(output.substr(output.size() - 9), "</result>") << name;
        // The result parses as XML.
        EXPECT_NO_THROW(GetRootElement(kvwin::FromUtf8(output).c_str())) << name;
    }
    EXPECT_GE(examples, 2);
}

}  // namespace
