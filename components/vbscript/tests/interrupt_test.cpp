// InterruptScriptThread from another thread: endless loops stop, also inside On Error
// Resume Next and inside COM calls; endless recursion ends as error 28.
#include <future>
#include <thread>

#include "kvtest/script_runs.h"
#include "vbs_test_support.h"

namespace vbstest {
namespace {

// The script's Spin runs on a thread of its own; it calls Test.Signal before it loops.
void InterruptWhenSpinning(const std::u16string& code) {
    kvtest::InterruptWhenSpinning<Script>(code, u"Spin");
}

TEST(VBScriptInterrupt, StopsATightLoop) {
    InterruptWhenSpinning(u"Sub Spin\n Test.Signal\n Do\n Loop\nEnd Sub\n");
}

TEST(VBScriptInterrupt, StopsAForLoopThatNeverEnds) {
    InterruptWhenSpinning(
        u"Sub Spin\n Dim i\n Test.Signal\n For i = 1 To 2\n i = 1\n Next\nEnd Sub\n");
}

TEST(VBScriptInterrupt, OnErrorResumeNextCannotSwallowIt) {
    InterruptWhenSpinning(
        u"Sub Spin\n"
        u" On Error Resume Next\n"
        u" Test.Signal\n"
        u" Do\n"
        u"   Err.Raise 5\n"
        u"   Inner\n"
        u" Loop\n"
        u"End Sub\n"
        u"Sub Inner\n"
        u" On Error Resume Next\n"
        u" Dim x : x = 1 / 0\n"
        u"End Sub\n");
}

TEST(VBScriptInterrupt, StopsALoopInsideCallsThroughCom) {
    // The interrupt lands in the script, inside a COM call, or inside a script procedure
    // that COM called back; every run must end stopped.
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        InterruptWhenSpinning(
            u"Function Work(n)\n Work = n + 1\nEnd Function\n"
            u"Sub Spin\n"
            u" Dim d, n\n"
            u" Set d = CreateObject(\"Scripting.Dictionary\")\n"
            u" Test.Signal\n"
            u" Do\n"
            u"  d(\"k\") = n\n"
            u"  n = Test.Call(GetRef(\"Work\"), d(\"k\"))\n"
            u" Loop\n"
            u"End Sub\n");
    }
}

TEST(VBScriptInterrupt, StopsAForEachOverAnEndlessCollection) {
    kvtest::InterruptWhenSpinning<Script>(
        [](Script& s) {
            auto* endless = new CountingCollection(-1);
            s.site->items[u"Endless"] = endless;  // the site keeps the reference
            EXPECT_EQ(s.engine->AddNamedItem(u"Endless", SCRIPTITEM_ISVISIBLE), S_OK);
        },
        u"Sub Spin\n Dim x\n Test.Signal\n For Each x In Endless\n Next\nEnd Sub\n", u"Spin");
}

TEST(VBScriptInterrupt, StopsACatastrophicRegularExpression) {
    // Exponential backtracking: without the interrupt the search runs for ages.
    InterruptWhenSpinning(
        u"Sub Spin\n"
        u" Dim re\n"
        u" Set re = New RegExp\n"
        u" re.Pattern = \"^(a+)+$\"\n"
        u" Test.Signal\n"
        u" re.Test String(60, \"a\") & \"b\"\n"
        u"End Sub\n");
}

TEST(VBScriptInterrupt, AnInterruptBeforeTheRunStopsItAtOnce) {
    ScopedApartment apartment;
    Script s;
    ASSERT_EQ(s.Parse(u"Sub Spin\n Do\n Loop\nEnd Sub\n"), S_OK);
    ASSERT_EQ(s.Start(), S_OK);
    ASSERT_EQ(s.engine->InterruptScriptThread(SCRIPTTHREADID_ALL, nullptr, 0), S_OK);
    _variant_t result;
    EXPECT_EQ(s.Call(u"Spin", &result), E_ABORT);
}

TEST(VBScriptRecursion, EndlessRecursionIsOutOfStackSpace) {
    ScopedApartment apartment;
    Script s;
    ASSERT_EQ(s.Run(u"Function Down(n)\n Down = Down(n + 1)\nEnd Function\nDown 0\n"),
              SCRIPT_E_REPORTED);
    ASSERT_EQ(s.site->errors.size(), 1u);
    EXPECT_EQ(s.site->errors[0].code, HRESULT(0x800A001C));
    EXPECT_EQ(s.site->errors[0].description, u"Out of stack space");
}

TEST(VBScriptRecursion, OnErrorResumeNextSeesTheStackError) {
    ScopedApartment apartment;
    Script s;
    ASSERT_EQ(s.Run(u"Dim depth\n"
                    u"Sub Down\n depth = depth + 1\n Down\nEnd Sub\n"
                    u"On Error Resume Next\n"
                    u"Down\n"
                    u"Test.ok Err.Number = 28, \"error 28\"\n"
                    // Instrumented builds have larger frames: the 512 KB bound comes sooner.
                    u"Test.ok depth > 50, \"deep before it stopped: \" & depth\n"),
              S_OK)
        << s.Errors();
    EXPECT_TRUE(s.helper->failures.empty())
        << (s.helper->failures.empty() ? "" : s.helper->failures[0]);
    EXPECT_EQ(s.helper->checks, 2);
}

TEST(VBScriptRecursion, RecursionThroughComIsBoundedToo) {
    ScopedApartment apartment;
    Script s;
    ASSERT_EQ(s.Run(u"Function Down(n)\n Down = Test.Call(GetRef(\"Down\"), n + 1)\nEnd Function\n"
                    u"Down 0\n"),
              SCRIPT_E_REPORTED);
    ASSERT_FALSE(s.site->errors.empty());
    EXPECT_EQ(s.site->errors[0].code, HRESULT(0x800A001C));
}

}  // namespace
}  // namespace vbstest
