// The script runner: the time limit, the session's cancellation event set in this process,
// beforehand, or by another process, and the join that always follows. The endless script of
// the test engine tells when it runs through a named event, so nothing here sleeps.
#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>

#include "kvtest/test_env.h"
#include "script/script_runner.h"
#include "test_script_engine.h"
#include "win/comdef.h"
#include "win/kernel_objects.h"

namespace {

using Clock = std::chrono::steady_clock;

// A handle of our own to the cancellation event, so its state outlives each run.
struct CancellationEvent {
    HANDLE handle = CreateEventW(nullptr, TRUE, FALSE, kScriptCancellationEventName);
    ~CancellationEvent() { CloseHandle(handle); }
    bool IsSet() const { return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0; }
};

TEST(ScriptRunner, AScriptThatEndsInTimeIsNotInterrupted) {
    ScopedTestEngine engines;
    ClearTestEngineLog();
    _variant_t result;
    EXPECT_TRUE(
        RunScript(TEXT("jscript"), TEXT("Collect=number 7"), TEXT("Collect"), &result, 60000));
    EXPECT_EQ(V_I4(&result), 7);
    EXPECT_EQ(ReadTestEngineLog().interrupts, 0);
    EXPECT_EQ(ReadTestEngineLog().live, 0);
}

TEST(ScriptRunner, AnEndlessScriptIsInterruptedAtTheTimeLimitAndJoined) {
    ScopedTestEngine engines;
    ClearTestEngineLog();
    CancellationEvent cancellation;
    _variant_t result;
    const Clock::time_point start = Clock::now();
    EXPECT_FALSE(RunScript(TEXT("jscript"), TEXT("Loop=endless"), TEXT("Loop"), &result, 2000));
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    EXPECT_GE(elapsed, 1950);
    EXPECT_LT(elapsed, 60000);
    EXPECT_EQ(V_VT(&result), VT_EMPTY);
    const TestEngineLog engine = ReadTestEngineLog();
    EXPECT_EQ(engine.interrupts, 1);
    // All script threads, no exception information, no flags; then the run closed the engine.
    const std::vector<std::string> tail(engine.calls.end() - 2, engine.calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"InterruptScriptThread 4294967293 0 0", "Close"}));
    EXPECT_EQ(engine.live, 0);
    EXPECT_FALSE(cancellation.IsSet());
}

TEST(ScriptRunner, AnEventAlreadySetCancelsTheRunAtOnceAndIsReset) {
    ScopedTestEngine engines;
    ClearTestEngineLog();
    CancellationEvent cancellation;
    ASSERT_TRUE(SetEvent(cancellation.handle));
    _variant_t result;
    // No time limit: only the event can end this script.
    EXPECT_FALSE(RunScript(TEXT("jscript"), TEXT("Loop=endless"), TEXT("Loop"), &result,
                           kNoScriptTimeLimit));
    EXPECT_EQ(V_VT(&result), VT_EMPTY);
    EXPECT_FALSE(cancellation.IsSet());
    EXPECT_EQ(ReadTestEngineLog().live, 0);

    // Reset means the next run is not cancelled.
    EXPECT_TRUE(RunScript(TEXT("jscript"), TEXT("Collect=number 1"), TEXT("Collect"), &result,
                          kNoScriptTimeLimit));
}

// Two processes of the session: one runs a script without a time limit, the other waits
// until that script runs and sets the event.
TEST(ScriptRunner, TheEventSetByAnotherProcessInterruptsARunningScript) {
    const auto children = kvtest::RunInChildren(2, [](int index) {
        if (index == 0) {
            ScopedTestEngine engines;
            CancellationEvent cancellation;
            _variant_t result;
            const bool succeeded = RunScript(TEXT("jscript"), TEXT("Loop=endless"), TEXT("Loop"),
                                             &result, kNoScriptTimeLimit);
            if (succeeded || V_VT(&result) != VT_EMPTY)
                throw std::runtime_error("the run was not interrupted");
            if (ReadTestEngineLog().interrupts != 1)
                throw std::runtime_error("the engine was not interrupted once");
            if (cancellation.IsSet())
                throw std::runtime_error("the event was not reset");
        } else {
            HANDLE started = CreateEventW(nullptr, TRUE, FALSE, kTestScriptStartedEvent);
            if (WaitForSingleObject(started, 120000) != WAIT_OBJECT_0)
                throw std::runtime_error("the script never started");
            CancellationEvent cancellation;
            SetEvent(cancellation.handle);
            CloseHandle(started);
        }
    });
    for (const kvtest::ChildResult& child : children) {
        EXPECT_TRUE(child.exited) << child.output;
        EXPECT_EQ(child.exit_code, 0) << child.output;
    }
}

}  // namespace
