// InterruptScriptThread from another thread: endless loops stop, also inside try/catch,
// and an interrupt that arrives between two entries stops the next one.
#include <future>
#include <thread>

#include "kvtest/script_runs.h"
#include "kvtest/script_test_support.h"

namespace jstest {
namespace {

constexpr auto kGenerous = kvtest::kScriptPatience;

// The script's spin() runs on a thread of its own; it calls Test.Signal() before it loops.
void InterruptWhenSpinning(const std::u16string& code) {
    kvtest::InterruptWhenSpinning<Script>(code, u"spin");
}

TEST(JScriptInterrupt, StopsAnEndlessLoop) {
    InterruptWhenSpinning(u"function spin() { Test.Signal(); while (true) {} }");
}

TEST(JScriptInterrupt, ACatchInTheLoopDoesNotKeepItRunning) {
    InterruptWhenSpinning(
        u"function spin() {\n"
        u"  Test.Signal();\n"
        u"  for (;;) { try { for (;;) {} } catch (e) {} finally { continue; } }\n"
        u"}");
}

TEST(JScriptInterrupt, StopsALoopWhereverItIsInItsCallsThroughCom) {
    // The interrupt lands in the script, inside a COM call, or inside a script function
    // that COM called back; every run must end stopped.
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        InterruptWhenSpinning(
            u"function spin() {\n"
            u"  Test.Signal();\n"
            u"  for (var n = 0; ; n = Test.Call(function (x) { return x + 1; }, n)) {}\n"
            u"}");
    }
}

TEST(JScriptInterrupt, StopsGlobalCodeAndIsNotReportedAsAScriptError) {
    ScopedApartment apartment;
    Script s;
    std::promise<HRESULT> started;
    auto result = started.get_future();
    IActiveScript* engine = s.engine.GetInterfacePtr();
    ASSERT_EQ(s.Parse(u"Test.Signal(); for (var i = 0; ; ++i) {}"), S_OK);
    std::thread interrupter([&] {
        if (s.helper->signalled.WaitFor(kGenerous))
            engine->InterruptScriptThread(SCRIPTTHREADID_BASE, nullptr, 0);
    });
    EXPECT_EQ(s.Start(), E_ABORT);
    interrupter.join();
    EXPECT_TRUE(s.site->errors.empty());
    // The engine stays usable.
    _variant_t v;
    EXPECT_EQ(s.Parse(u"1 + 1", SCRIPTTEXT_ISEXPRESSION, &v), S_OK);
    EXPECT_EQ(v.lVal, 2);
}

TEST(JScriptInterrupt, AnInterruptBetweenEntriesStopsTheNextOne) {
    ScopedApartment apartment;
    Script s;
    ASSERT_EQ(s.Parse(u"function f() { return 1; }"), S_OK);
    ASSERT_EQ(s.Start(), S_OK);
    EXCEPINFO why{};
    why.scode = HRESULT(0x80040001);
    EXPECT_EQ(s.engine->InterruptScriptThread(SCRIPTTHREADID_ALL, &why, 0), S_OK);
    _variant_t result;
    EXPECT_EQ(s.Call(u"f", &result), HRESULT(0x80040001));
    EXPECT_EQ(result.vt, VT_EMPTY);
    EXPECT_EQ(s.Call(u"f", &result), S_OK);  // consumed by the entry it stopped
    EXPECT_EQ(s.engine->InterruptScriptThread(12345, nullptr, 0), E_INVALIDARG);
}

}  // namespace
}  // namespace jstest
