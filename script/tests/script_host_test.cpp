// The script run against the test engine: the calls an engine receives and their arguments,
// the predefined functions VBScript texts are given, failures that end a run, and the site.
#include <gtest/gtest.h>

#include "kvwin/com_runtime.h"
#include "kvwin/utf.h"
#include "kvwin/wide_string.h"
#include "script/active_script_site.h"
#include "script/predefined_functions.h"
#include "script/script_run.h"
#include "test_script_engine.h"
#include "win/comdef.h"

namespace {

struct RunOutcome {
    bool succeeded = false;
    _variant_t result;
    TestEngineLog engine;
};

// One script run on this thread, as the script thread does it.
RunOutcome RunOnce(const WString& type, const WString& text,
                   const WString& function = TEXT("Collect")) {
    ClearTestEngineLog();
    RunOutcome outcome;
    ScriptRunContext context;
    context.result = &outcome.result;
    PerformScriptRun(context, type.c_str(), text.c_str(), function.c_str());
    EXPECT_EQ(context.engine, nullptr) << "the slot is cleared at the end of the run";
    outcome.succeeded = context.succeeded;
    outcome.engine = ReadTestEngineLog();
    EXPECT_EQ(outcome.engine.live, 0) << "the engine was released";
    return outcome;
}

class ScriptHost : public ::testing::Test {
  protected:
    ScopedTestEngine engines;
};

TEST_F(ScriptHost, ASuccessfulRunMakesTheseCallsInThisOrder) {
    const RunOutcome run = RunOnce(TEXT("jscript"), TEXT("Collect=number 7"));
    EXPECT_TRUE(run.succeeded);
    EXPECT_EQ(V_VT(&run.result), VT_I4);
    EXPECT_EQ(V_I4(&run.result), 7);
    EXPECT_EQ(run.engine.engineClass, "JScript");
    EXPECT_EQ(run.engine.calls, (std::vector<std::string>{
                                    "SetScriptSite 1",
                                    "AddNamedItem Scripter 14",
                                    "InitNew",
                                    // item, context, delimiter, cookie, line, flags, result,
                                    // exception record
                                    "ParseScriptText Scripter 0 0 0 0 0 0 1",
                                    "SetScriptState 2",
                                    "GetScriptDispatch Scripter",
                                    "GetIDsOfNames Collect 1 2048",
                                    "Invoke Collect 1024 1 0 0",
                                    "Close",
                                }));
    EXPECT_EQ(run.engine.parsedText, TEXT("Collect=number 7")) << "JScript gets no helpers";
}

TEST_F(ScriptHost, EveryFailingStepEndsTheRunWithoutSuccessAndClosesTheEngine) {
    struct Case {
        const char* what;
        WString text, function;
        std::string lastCallBeforeClose;
    } cases[] = {
        {"a syntax error", TEXT("!parse-fails\nCollect=number 1"), TEXT("Collect"),
         "ParseScriptText Scripter 0 0 0 0 0 0 1"},
        {"an error in the global code", TEXT("!connect-fails\nCollect=number 1"), TEXT("Collect"),
         "SetScriptState 2"},
        {"an undefined function", TEXT("Other=number 1"), TEXT("Collect"),
         "GetIDsOfNames Collect 1 2048"},
        {"a run-time error", TEXT("Collect=fails"), TEXT("Collect"), "Invoke Collect 1024 1 0 0"},
    };
    for (const Case& c : cases) {
        const RunOutcome run = RunOnce(TEXT("jscript"), c.text, c.function);
        EXPECT_FALSE(run.succeeded) << c.what;
        EXPECT_EQ(V_VT(&run.result), VT_EMPTY) << c.what;
        ASSERT_GE(run.engine.calls.size(), 2u) << c.what;
        EXPECT_EQ(run.engine.calls.back(), "Close") << c.what;
        EXPECT_EQ(run.engine.calls[run.engine.calls.size() - 2], c.lastCallBeforeClose) << c.what;
    }
}

TEST_F(ScriptHost, AValueOfZeroOrNothingIsStillASuccessfulCall) {
    EXPECT_TRUE(RunOnce(TEXT("jscript"), TEXT("Collect=number 0")).succeeded);
    const RunOutcome nothing = RunOnce(TEXT("jscript"), TEXT("Collect=nothing"));
    EXPECT_TRUE(nothing.succeeded);
    EXPECT_EQ(V_VT(&nothing.result), VT_EMPTY);
}

TEST_F(ScriptHost, AnUnknownTypeOrAMissingEngineRunsNothing) {
    const RunOutcome perl = RunOnce(TEXT("perl"), TEXT("Collect=number 1"));
    EXPECT_FALSE(perl.succeeded);
    EXPECT_TRUE(perl.engine.calls.empty());

    kvwin::UnregisterBuiltinClass(CLSID_JScript);
    const RunOutcome missing = RunOnce(TEXT("jscript"), TEXT("Collect=number 1"));
    EXPECT_FALSE(missing.succeeded);
    EXPECT_EQ(V_VT(&missing.result), VT_EMPTY);
}

TEST_F(ScriptHost, AnInterruptionAskedForBeforeTheRunSkipsEveryStep) {
    ClearTestEngineLog();
    _variant_t result;
    ScriptRunContext context;
    context.result = &result;
    context.interrupted = true;
    PerformScriptRun(context, TEXT("jscript"), TEXT("Collect=number 7"), TEXT("Collect"));
    EXPECT_FALSE(context.succeeded);
    EXPECT_EQ(ReadTestEngineLog().calls, std::vector<std::string>{"Close"});
    EXPECT_EQ(ReadTestEngineLog().live, 0);
}

TEST_F(ScriptHost, VBScriptTextsGetTheBlocksTheirMarkersDoNotKeepOut) {
    const WString block1(PredefinedFunctionsBlock());
    const WString block2(MockablePredefinedFunctionsBlock());
    const WString own1 = TEXT("'Predefined functions\n");
    const WString own2 = TEXT("'Mockable predefined functions\n");
    struct Case {
        const char* what;
        WString text, parsed;
    } cases[] = {
        {"no markers", TEXT("Collect=number 1"), TEXT("Collect=number 1") + block1 + block2},
        {"both markers", TEXT("Collect=number 1\n") + own2 + own1,
         TEXT("Collect=number 1\n") + own2 + own1},
        {"the mockable marker only", own2 + TEXT("Collect=number 1"),
         own2 + TEXT("Collect=number 1") + block1},
        {"the first marker only", own1 + TEXT("Collect=number 1"),
         own1 + TEXT("Collect=number 1") + block2},
        {"a marker in another case", TEXT("Collect=number 1\n'predefined functions\n"),
         TEXT("Collect=number 1\n'predefined functions\n") + block1 + block2},
        // The second search looks at the text with the first block: the block's leading line
        // feed completes a marker that ended the script.
        {"a marker at the very end", TEXT("Collect=number 1\n'Mockable predefined functions"),
         TEXT("Collect=number 1\n'Mockable predefined functions") + block1},
    };
    for (const Case& c : cases) {
        const RunOutcome run = RunOnce(TEXT("vbscript"), c.text);
        EXPECT_EQ(run.engine.engineClass, "VBScript") << c.what;
        EXPECT_EQ(run.engine.parsedText, c.parsed) << c.what;
        EXPECT_TRUE(run.succeeded) << c.what;
    }
}

TEST(PredefinedFunctions, TheBlocksAreTheDocumentedText) {
    const WString block1(PredefinedFunctionsBlock());
    const WString block2(MockablePredefinedFunctionsBlock());
    EXPECT_EQ(block1.size(), 860u);
    EXPECT_EQ(block2.size(), 645u);
    EXPECT_EQ(
        block1.rfind(
            TEXT("\n'Predefined functions\nFunction NrvInv_ReplaceIllegalCharacters(value)\n"), 0),
        0u);
    EXPECT_NE(block1.find(TEXT("\t\tEnd if\t\n\t\tNext\n")), WString::npos);
    EXPECT_NE(block1.find(TEXT("\tvalue = Replace(value, \"\"\"\", \"&quot;\")\n")), WString::npos);
    EXPECT_EQ(
        block2.rfind(
            TEXT("\n'Mockable predefined functions\n\nFunction NrvInv_RunWmiQuery(query)\n"), 0),
        0u);
    EXPECT_NE(block2.find(TEXT("\nConst HKEY_LOCAL_MACHINE = &H80000002\n")), WString::npos);
    EXPECT_EQ(block2.substr(block2.size() - 13), TEXT("End Function\n"));
    EXPECT_EQ(block1.find(TEXT('\r')), WString::npos);
    EXPECT_EQ(block2.find(TEXT("    ")), WString::npos) << "indentation is tabs";
}

TEST(ActiveScriptSite, AnswersWhatAnEngineAsks) {
    CActiveScriptSite* site = new CActiveScriptSite();
    IUnknown* unknown = nullptr;
    ASSERT_EQ(site->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    IActiveScriptSite* asSite = nullptr;
    ASSERT_EQ(site->QueryInterface(IID_IActiveScriptSite, reinterpret_cast<void**>(&asSite)), S_OK);
    EXPECT_EQ(asSite, site);
    void* other = &other;
    EXPECT_EQ(site->QueryInterface(IID_IDispatch, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);

    IUnknown* item = nullptr;
    EXPECT_EQ(site->GetItemInfo(TEXT("Scripter"), SCRIPTINFO_IUNKNOWN, &item, nullptr),
              TYPE_E_ELEMENTNOTFOUND);
    LCID lcid = 0x1234;
    EXPECT_EQ(site->GetLCID(&lcid), S_OK);
    EXPECT_EQ(lcid, 0x1234u) << "nothing written: the engine keeps its own default";
    EXPECT_EQ(site->OnScriptError(nullptr), S_OK);
    EXPECT_EQ(site->OnStateChange(SCRIPTSTATE_CONNECTED), S_OK);
    EXPECT_EQ(asSite->Release(), 2u);
    EXPECT_EQ(unknown->Release(), 1u);
    EXPECT_EQ(site->Release(), 0u);
}

}  // namespace
