// InterruptScriptThread from another thread: endless loops stop, also inside try/catch,
// and an interrupt that arrives between two entries stops the next one.
#include <future>
#include <thread>

#include "script_test_support.h"

namespace jstest {
namespace {

constexpr auto kGenerous = std::chrono::seconds(60);

// Runs `body` (given the engine) on a thread of its own in its own apartment; the test
// thread interrupts once the script has signalled that it runs.
struct ScriptThread {
    std::promise<IActiveScript*> engine_ready;
    std::promise<HRESULT> finished;
    TestHelper* helper = nullptr;
    std::thread thread;

    explicit ScriptThread(std::u16string code) {
        thread = std::thread([this, code] {
            ScopedApartment apartment;
            Script s;
            helper = s.helper;
            s.engine->AddRef();
            engine_ready.set_value(s.engine.GetInterfacePtr());
            HRESULT hr = s.Parse(code);
            if (SUCCEEDED(hr))
                hr = s.Start();
            _variant_t result;
            if (SUCCEEDED(hr))
                hr = s.Call(u"spin", &result);
            finished.set_value(hr);
            // The test still holds its engine reference; Script closes the engine here.
        });
    }
    ~ScriptThread() {
        if (thread.joinable())
            thread.join();
    }
};

void InterruptWhenSpinning(const std::u16string& code) {
    ScriptThread t(code);
    auto engine_future = t.engine_ready.get_future();
    ASSERT_EQ(engine_future.wait_for(kGenerous), std::future_status::ready);
    IActiveScript* engine = engine_future.get();
    auto done = t.finished.get_future();
    // The script calls Test.Signal() just before it starts to loop.
    ASSERT_TRUE(t.helper->signalled.WaitFor(kGenerous));
    EXPECT_EQ(done.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
    SCRIPTTHREADSTATE state;
    EXPECT_EQ(engine->GetScriptThreadState(SCRIPTTHREADID_BASE, &state), S_OK);
    EXPECT_EQ(state, SCRIPTTHREADSTATE_RUNNING);
    EXPECT_EQ(engine->InterruptScriptThread(SCRIPTTHREADID_ALL, nullptr, 0), S_OK);
    ASSERT_EQ(done.wait_for(kGenerous), std::future_status::ready);
    EXPECT_EQ(done.get(), E_ABORT);
    t.thread.join();
    engine->Release();
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
